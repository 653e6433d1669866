#include "tools/kwnbuild/PeImage.h"

#include "TestPeImage.h"
#include "tools/kwnbuild/BuildError.h"

#include <gtest/gtest.h>

namespace kwn::build {
namespace {

using test::kPeOffset;
using test::makePeImage;
using Bytes = std::vector<unsigned char>;

Bytes stubWith(std::size_t offset, std::uint64_t value, std::size_t width) {
    Bytes image = test::makeStub();
    test::putLittleEndian(image, offset, value, width);
    return image;
}

TEST(PeImage, ImageEndIsTheEndOfTheLastSectionsRawData) {
    EXPECT_EQ(validateStub(test::makeStub()), test::kStubSize);
    // A section without raw data in the middle of the table does not count.
    EXPECT_EQ(validateStub(makePeImage({{0x1C0, 0x20}, {0, 0}, {0x1E0, 0x20}})), 0x200u);
}

TEST(PeImage, RejectsFilesTheLauncherCouldNotFindItsBlockIn) {
    Bytes withOverlay = test::makeStub();
    withOverlay.insert(withOverlay.end(), {0xD5, 0x13, 0xE4, 0xE8});
    const std::pair<Bytes, const char*> cases[] = {
        {{}, "no MZ header"},
        {Bytes(200, 'x'), "no MZ header"},
        {stubWith(60, 500, 4), "PE header offset 500 lies outside the file"},
        {stubWith(60, 0xFFFFFFF0, 4), "PE header offset -16 lies outside the file"},
        {stubWith(kPeOffset, 'X', 1), "no PE signature at offset 64"},
        {stubWith(kPeOffset + 6, 0, 2), "no sections"},
        {stubWith(kPeOffset + 6, 9, 2), "section table runs past the end of the file"},
        {stubWith(kPeOffset + 20, 0x8000, 2), "above 32767"}, // the launcher reads it as negative
        {stubWith(test::kSectionTable + 56, 0x41, 4), "section 2 runs past the end of the file"},
        {makePeImage({{0x1C0, 0x40}, {0x190, 0x30}}),
         "is not the section whose raw data ends last"},
        {makePeImage({{0x190, 0x70}, {0, 0}}), "is not the section whose raw data ends last"},
        {withOverlay, "4 bytes follow the last section"}, // a built launcher or a signature
    };
    for (const auto& [image, message] : cases) {
        try {
            validateStub(image);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const BuildError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

} // namespace
} // namespace kwn::build
