#include "tools/kwnbuild/PeImage.h"

#include "tools/kwnbuild/BuildError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kwn::build {

namespace {
constexpr std::size_t kPeOffsetField = 60;
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kFileHeaderSize = 20;
// Offsets from the PE signature, as the launcher's header walk uses them.
constexpr std::size_t kSectionCountField = 6;
constexpr std::size_t kOptionalHeaderSizeField = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kRawSizeField = 16;
constexpr std::size_t kRawOffsetField = 20;
// The launcher reads the section count and the optional header size as signed 16-bit values.
constexpr std::uint32_t kMaxSignedShort = 0x7FFF;

std::uint32_t readLittleEndian(std::span<const unsigned char> bytes, std::uint64_t offset,
                               std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

struct SectionTable {
    std::uint64_t offset = 0;
    std::uint32_t count = 0;
};

// Returns the offset of the PE signature (e_lfanew).
std::uint64_t checkDosHeader(std::span<const unsigned char> image) {
    if (image.size() < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z')
        throw BuildError("not a PE image: no MZ header");
    auto peOffset = static_cast<std::int32_t>(readLittleEndian(image, kPeOffsetField, 4));
    if (peOffset < 0 ||
        static_cast<std::uint64_t>(peOffset) + kSignatureSize + kFileHeaderSize > image.size())
        throw BuildError("not a PE image: the PE header offset " + std::to_string(peOffset) +
                         " lies outside the file");
    return static_cast<std::uint64_t>(peOffset);
}

SectionTable checkPeHeaders(std::span<const unsigned char> image, std::uint64_t peOffset) {
    static constexpr unsigned char kSignature[] = {'P', 'E', 0, 0};
    for (std::size_t i = 0; i < kSignatureSize; ++i) {
        if (image[peOffset + i] != kSignature[i])
            throw BuildError("not a PE image: no PE signature at offset " +
                             std::to_string(peOffset));
    }
    std::uint32_t count = readLittleEndian(image, peOffset + kSectionCountField, 2);
    std::uint32_t optionalSize = readLittleEndian(image, peOffset + kOptionalHeaderSizeField, 2);
    if (count == 0)
        throw BuildError("the PE image has no sections");
    if (count > kMaxSignedShort || optionalSize > kMaxSignedShort)
        throw BuildError("the PE headers hold a section count or optional header size above 32767");
    SectionTable table{peOffset + kSignatureSize + kFileHeaderSize + optionalSize, count};
    if (table.offset + std::uint64_t{count} * kSectionHeaderSize > image.size())
        throw BuildError("the PE section table runs past the end of the file");
    return table;
}

std::vector<std::uint64_t> rawDataEnds(std::span<const unsigned char> image, SectionTable table) {
    std::vector<std::uint64_t> ends;
    for (std::uint32_t i = 0; i < table.count; ++i) {
        std::uint64_t header = table.offset + std::uint64_t{i} * kSectionHeaderSize;
        std::uint64_t size = readLittleEndian(image, header + kRawSizeField, 4);
        std::uint64_t offset = readLittleEndian(image, header + kRawOffsetField, 4);
        if (offset + size > image.size())
            throw BuildError("the raw data of section " + std::to_string(i + 1) +
                             " runs past the end of the file");
        ends.push_back(offset + size);
    }
    return ends;
}
} // namespace

std::uint64_t launcherImageEnd(std::span<const unsigned char> image) {
    SectionTable table = checkPeHeaders(image, checkDosHeader(image));
    return rawDataEnds(image, table).back();
}

std::uint64_t validateStub(std::span<const unsigned char> image) {
    SectionTable table = checkPeHeaders(image, checkDosHeader(image));
    std::vector<std::uint64_t> ends = rawDataEnds(image, table);
    std::uint64_t imageEnd = ends.back();
    for (std::uint64_t end : ends) {
        if (end > imageEnd)
            throw BuildError("the last section-table entry is not the section whose raw data "
                             "ends last; the launcher would not find its configuration");
    }
    if (image.size() > imageEnd)
        throw BuildError(std::to_string(image.size() - imageEnd) +
                         " bytes follow the last section (an already built launcher or a signed "
                         "file?); a bare stub is needed");
    return imageEnd;
}

} // namespace kwn::build
