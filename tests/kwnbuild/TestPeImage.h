#pragma once
// Minimal PE images built in memory, so the build tool is tested without the real stubs.
#include <cstdint>
#include <vector>

namespace kwn::build::test {

struct RawData {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// Header positions of every image makePeImage builds.
constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kOptionalHeaderSize = 0xE0;
constexpr std::size_t kSectionTable = kPeOffset + 24 + kOptionalHeaderSize;
// The default image: two sections whose raw data ends the file at 512.
constexpr std::size_t kStubSize = 512;

// A 32-bit PE image with one section-table entry per range, in the order given; the file is as
// long as the furthest range reaches.
std::vector<unsigned char> makePeImage(const std::vector<RawData>& sections);
std::vector<unsigned char> makeStub();

void putLittleEndian(std::vector<unsigned char>& bytes, std::size_t offset, std::uint64_t value,
                     std::size_t width);
std::uint64_t getLittleEndian(const std::vector<unsigned char>& bytes, std::size_t offset,
                              std::size_t width);

} // namespace kwn::build::test
