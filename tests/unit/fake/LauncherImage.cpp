#include "fake/LauncherImage.h"

namespace kwn::test {

ByteWriter& ByteWriter::little(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes_.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::wideString(std::u16string_view text) {
    i32(static_cast<std::int32_t>(2 * text.size()));
    for (char16_t unit : text)
        little(unit, 2);
    return *this;
}

Bytes ConfigBlock::build() const {
    ByteWriter body;
    body.i32(static_cast<std::int32_t>(narrow.size()));
    for (const auto& [key, value] : narrow)
        body.i32(key).narrowString(value);
    body.i32(static_cast<std::int32_t>(wide.size()));
    for (const auto& [key, value] : wide)
        body.i32(key).wideString(value);
    body.i32(static_cast<std::int32_t>(groups.size()));
    for (const auto& [name, entries] : groups) {
        body.narrowString(name).i32(static_cast<std::int32_t>(entries.size()));
        for (const auto& [key, value] : entries)
            body.i32(key).wideString(value);
    }
    // The header words are whatever the build tool put there; the reader must not care.
    ByteWriter block;
    block.u32(magic).u32(0).u32(0x5EED0001u).i64(static_cast<std::int64_t>(8 + body.size()));
    return block.raw(body.bytes()).bytes();
}

LauncherImage buildLauncherImage(const Bytes& trailer, const PeLayout& layout) {
    ByteWriter image;
    image.raw("MZ").zeros(58).i32(layout.peOffset);
    image.zeros(static_cast<std::size_t>(layout.peOffset) - image.size());
    image.raw(std::string_view("PE\0\0", 4)).i16(static_cast<std::int16_t>(0x8664));
    image.i16(layout.sections).zeros(12).i16(layout.optionalHeaderSize).i16(0x0022).i16(0x020B);
    image.zeros(static_cast<std::size_t>(layout.optionalHeaderSize) - 2);
    std::size_t tableEnd = image.size() + 40 * layout.sections;
    std::size_t firstRaw = (tableEnd + 0x1FF) / 0x200 * 0x200; // the file alignment
    for (int i = 0; i < layout.sections; ++i) {
        image.raw(".sect" + std::to_string(i)).zeros(2);
        image.u32(layout.sectionRawSize).u32(0x1000u * (i + 1)).u32(layout.sectionRawSize);
        image.u32(static_cast<std::uint32_t>(firstRaw + i * layout.sectionRawSize)).zeros(16);
    }
    image.zeros(firstRaw - image.size());
    for (int i = 0; i < layout.sections; ++i)
        image.raw(Bytes(layout.sectionRawSize, static_cast<unsigned char>(0xC0 + i)));
    auto blockStart = static_cast<std::int64_t>(image.size());
    return {image.raw(trailer).bytes(), blockStart};
}

Bytes cut(const Bytes& bytes, std::int64_t size) {
    return Bytes(bytes.begin(), bytes.begin() + size);
}

} // namespace kwn::test
