#include "tools/kwnbuild/ConfigBlockWriter.h"

#include "tools/kwnbuild/BuildError.h"

#include <limits>
#include <string>

namespace kwn::build {

namespace {
constexpr std::uint64_t kMaxInt = std::numeric_limits<std::int32_t>::max();

class ByteWriter {
public:
    void putInt(std::uint32_t value) { putLittleEndian(value, 4); }
    void putLong(std::uint64_t value) { putLittleEndian(value, 8); }

    // Lengths and counts are signed ints in the block; larger ones would read as negative.
    void putCount(std::size_t count, const char* what) {
        if (count > kMaxInt)
            throw BuildError(std::string(what) + " of " + std::to_string(count) +
                             " exceeds the block's 32-bit limit");
        putInt(static_cast<std::uint32_t>(count));
    }

    void putNarrow(const std::string& text) {
        putCount(text.size(), "a narrow value");
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }

    void putWide(const std::u16string& text) {
        putCount(text.size() * 2, "a wide value");
        for (char16_t unit : text)
            putLittleEndian(unit, 2);
    }

    void patchLong(std::size_t offset, std::uint64_t value) {
        for (std::size_t i = 0; i < 8; ++i)
            bytes_[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }

    std::vector<unsigned char>& bytes() { return bytes_; }

private:
    void putLittleEndian(std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            bytes_.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }

    std::vector<unsigned char> bytes_;
};

void putWideEntries(ByteWriter& out, const std::map<Key, std::u16string>& entries) {
    out.putCount(entries.size(), "the number of wide entries");
    for (const auto& [key, value] : entries) {
        out.putInt(static_cast<std::uint32_t>(key));
        out.putWide(value);
    }
}
} // namespace

std::vector<unsigned char> encodeConfigBlock(const ConfigModel& model) {
    ByteWriter out;
    out.putInt(kBlockMagic);
    out.putInt(kHeaderWordFirst);
    out.putInt(kHeaderWordSecond);
    out.putLong(0); // the length word, known once everything behind it is written
    out.putCount(model.narrow.size(), "the number of narrow entries");
    for (const auto& [key, value] : model.narrow) {
        out.putInt(static_cast<std::uint32_t>(key));
        out.putNarrow(value);
    }
    putWideEntries(out, model.wide);
    out.putCount(model.localeGroups.size(), "the number of locale groups");
    for (const LocaleGroup& group : model.localeGroups) {
        out.putNarrow(group.name);
        putWideEntries(out, group.entries);
    }
    out.patchLong(kLengthWordOffset, out.bytes().size() - kLengthWordOffset);
    return std::move(out.bytes());
}

std::vector<unsigned char> encodeTrailer(std::uint64_t fileOffset) {
    ByteWriter out;
    out.putInt(kBlockTrailer);
    std::uint64_t end = fileOffset + out.bytes().size();
    std::uint64_t padding = (kTrailerAlignment - end % kTrailerAlignment) % kTrailerAlignment;
    out.bytes().resize(out.bytes().size() + padding, 0);
    return std::move(out.bytes());
}

} // namespace kwn::build
