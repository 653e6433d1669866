#pragma once
// Builds launcher files as bytes: a minimal PE image whose last section's raw data ends where
// a configuration block begins, so that the reader walks the same headers it meets on disk.
#include "config/ConfigKeys.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kwn::test {

using Bytes = std::vector<unsigned char>;

// Little-endian writer for the block's primitives.
class ByteWriter {
public:
    ByteWriter& i16(std::int16_t value) { return little(static_cast<std::uint16_t>(value), 2); }
    ByteWriter& i32(std::int32_t value) { return little(static_cast<std::uint32_t>(value), 4); }
    ByteWriter& u32(std::uint32_t value) { return little(value, 4); }
    ByteWriter& i64(std::int64_t value) { return little(static_cast<std::uint64_t>(value), 8); }
    ByteWriter& raw(std::string_view bytes) { return append(bytes.begin(), bytes.end()); }
    ByteWriter& raw(const Bytes& bytes) { return append(bytes.begin(), bytes.end()); }
    ByteWriter& zeros(std::size_t count) { return raw(Bytes(count, 0)); }
    // An int byte length and the bytes, as the block stores narrow text.
    ByteWriter& narrowString(std::string_view text) { return i32(std::ssize(text)).raw(text); }
    // An int byte length and UTF-16LE code units, as the block stores wide text.
    ByteWriter& wideString(std::u16string_view text);

    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

private:
    template <class Iterator> ByteWriter& append(Iterator from, Iterator to) {
        bytes_.insert(bytes_.end(), from, to);
        return *this;
    }
    ByteWriter& little(std::uint64_t value, int width);
    Bytes bytes_;
};

using WideEntries = std::vector<std::pair<config::Key, std::u16string>>;

// A configuration block in the build tool's layout: header, narrow entries, wide entries,
// locale groups.
struct ConfigBlock {
    std::uint32_t magic = 0xE8E413D5u;
    std::vector<std::pair<config::Key, std::string>> narrow = {};
    WideEntries wide = {};
    std::vector<std::pair<std::string, WideEntries>> groups = {};
    Bytes build() const;
};

struct PeLayout {
    std::int32_t peOffset = 0x80;
    std::int16_t sections = 3;
    std::int16_t optionalHeaderSize = 224;
    std::uint32_t sectionRawSize = 0x200;
};

struct LauncherImage {
    Bytes bytes;
    std::int64_t blockStart = 0;
};

// The image with `trailer` (usually a block) directly behind the last section's raw data.
LauncherImage buildLauncherImage(const Bytes& trailer, const PeLayout& layout = {});

// The first `size` bytes.
Bytes cut(const Bytes& bytes, std::int64_t size);

} // namespace kwn::test
