#include "TestPeImage.h"

#include <algorithm>
#include <cstring>

namespace kwn::build::test {

namespace {
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kExecutableImage = 0x0102;
constexpr std::uint16_t kPe32Magic = 0x10B;
} // namespace

void putLittleEndian(std::vector<unsigned char>& bytes, std::size_t offset, std::uint64_t value,
                     std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t getLittleEndian(const std::vector<unsigned char>& bytes, std::size_t offset,
                              std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes.at(offset + i)) << (8 * i);
    return value;
}

std::vector<unsigned char> makePeImage(const std::vector<RawData>& sections) {
    std::size_t size = kSectionTable + 40 * sections.size();
    for (const RawData& section : sections)
        size = std::max<std::size_t>(size, section.offset + section.size);
    std::vector<unsigned char> image(size, 0);
    image[0] = 'M';
    image[1] = 'Z';
    putLittleEndian(image, 60, kPeOffset, 4);
    std::memcpy(&image[kPeOffset], "PE\0\0", 4);
    putLittleEndian(image, kPeOffset + 4, kMachineI386, 2);
    putLittleEndian(image, kPeOffset + 6, sections.size(), 2);
    putLittleEndian(image, kPeOffset + 20, kOptionalHeaderSize, 2);
    putLittleEndian(image, kPeOffset + 22, kExecutableImage, 2);
    putLittleEndian(image, kPeOffset + 24, kPe32Magic, 2);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        std::size_t header = kSectionTable + 40 * i;
        image[header] = '.';
        image[header + 1] = static_cast<unsigned char>('a' + i);
        putLittleEndian(image, header + 16, sections[i].size, 4);
        putLittleEndian(image, header + 20, sections[i].offset, 4);
        std::fill_n(image.begin() + sections[i].offset, sections[i].size, 0xCC);
    }
    return image;
}

std::vector<unsigned char> makeStub() {
    return makePeImage({{0x190, 0x30}, {0x1C0, 0x40}});
}

} // namespace kwn::build::test
