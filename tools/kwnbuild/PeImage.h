#pragma once
// Checks that a file can serve as a launcher stub and finds where its program image ends, which
// is where the launcher will look for its configuration block.
#include <cstdint>
#include <span>
#include <vector>

namespace kwn::build {

// The file offset right behind the raw data of the last section-table entry. BuildError when
// the bytes are no PE image, or when the launcher's header walk would not land on the end of
// the file: bytes already follow the image (a built launcher, a signature), or the last
// table entry is not the section that ends last.
std::uint64_t validateStub(std::span<const unsigned char> image);

// Where the launcher's header walk puts its block in a built launcher: behind the raw data of the
// last section-table entry. BuildError when the bytes are no PE image.
std::uint64_t launcherImageEnd(std::span<const unsigned char> image);

// Where the optional header's checksum lies (the same in PE32 and PE32+) in an image that passed
// validateStub; 0 when its optional header is too short to hold one.
std::uint64_t checksumFieldOffset(std::span<const unsigned char> image);

struct PeSection {
    std::uint64_t header = 0; // file offset of its section-table entry
    std::uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
};

// What rewriting an image's resources needs of its headers.
struct PeLayout {
    std::uint64_t optionalHeader = 0; // file offset
    std::uint32_t sectionAlignment = 0, fileAlignment = 0;
    std::uint64_t checksumField = 0, sizeOfImageField = 0, initializedDataField = 0;
    std::uint64_t dataDirectories = 0; // file offset of the first (RVA, size) pair
    std::uint32_t directoryCount = 0;
    std::vector<PeSection> sections; // in table order
};

// BuildError when the headers are not those of a PE32 or PE32+ image whose section table and
// raw data lie inside `image`. Bytes behind the last section (a block) are allowed.
PeLayout readPeLayout(std::span<const unsigned char> image);

std::uint32_t readLittleEndian(std::span<const unsigned char> bytes, std::uint64_t offset,
                               std::size_t width);
void putLittleEndian(std::span<unsigned char> bytes, std::uint64_t offset, std::uint64_t value,
                     std::size_t width);

} // namespace kwn::build
