#include "tools/kwnbuild/ConfigBlockWriter.h"

#include "TestPeImage.h"

#include <gtest/gtest.h>

namespace kwn::build {
namespace {

using test::getLittleEndian;
using Bytes = std::vector<unsigned char>;

// The byte tables show one field per line, as the block's layout is described.
// clang-format off
TEST(ConfigBlockWriter, EmptyBlockIsHeaderAndThreeZeroCounts) {
    const Bytes expected = {
        0xD5, 0x13, 0xE4, 0xE8,     // magic
        0, 0, 0, 0,                 // header word
        1, 0, 0, 0,                 // header word
        20, 0, 0, 0, 0, 0, 0, 0,    // length word: block size - 12
        0, 0, 0, 0,                 // N
        0, 0, 0, 0,                 // W
        0, 0, 0, 0};                // G
    EXPECT_EQ(encodeConfigBlock(ConfigModel{}), expected);
}

TEST(ConfigBlockWriter, NarrowEntryIsKeyLengthAndBytes) {
    ConfigModel model;
    model.narrow[103] = "error.log";
    const Bytes expected = {
        0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 1, 0, 0, 0,
        37, 0, 0, 0, 0, 0, 0, 0,
        1, 0, 0, 0,                                     // N
        0x67, 0, 0, 0,                                  // key 103
        9, 0, 0, 0,                                     // byte length
        'e', 'r', 'r', 'o', 'r', '.', 'l', 'o', 'g',
        0, 0, 0, 0,                                     // W
        0, 0, 0, 0};                                    // G
    EXPECT_EQ(encodeConfigBlock(model), expected);
}

TEST(ConfigBlockWriter, LocaleGroupIsNameCountAndWideEntries) {
    ConfigModel model;
    model.localeGroups.push_back({"de", {{1000, u"\u20AC 12"}}});
    const Bytes expected = {
        0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 1, 0, 0, 0,
        46, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0,                                     // N
        0, 0, 0, 0,                                     // W
        1, 0, 0, 0,                                     // G
        2, 0, 0, 0, 0x64, 0x65,                         // "de"
        1, 0, 0, 0,                                     // E
        0xE8, 0x03, 0, 0,                               // key 1000
        8, 0, 0, 0,                                     // byte length of four code units
        0xAC, 0x20, ' ', 0, '1', 0, '2', 0};            // UTF-16LE text
    EXPECT_EQ(encodeConfigBlock(model), expected);
}
// clang-format on

// clang-format off
TEST(ConfigBlockWriter, SectionsFollowEachOtherAndGroupsKeepTheirOrder) {
    ConfigModel model;
    model.narrow = {{2, "b"}, {-1, ""}};
    model.wide = {{1, u"\u00E9"}};
    model.localeGroups = {{"z", {}}, {"", {{7, u"x"}}}};
    const Bytes expected = {
        0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 1, 0, 0, 0,
        74, 0, 0, 0, 0, 0, 0, 0,                        // 86 bytes - 12
        2, 0, 0, 0,                                     // N, in key order
        0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,             // -1, empty
        2, 0, 0, 0, 1, 0, 0, 0, 'b',
        1, 0, 0, 0,                                     // W
        1, 0, 0, 0, 2, 0, 0, 0, 0xE9, 0,
        2, 0, 0, 0,                                     // G, in the model's order
        1, 0, 0, 0, 'z', 0, 0, 0, 0,
        0, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 'x', 0};
    EXPECT_EQ(encodeConfigBlock(model), expected);
}
// clang-format on

TEST(ConfigBlockWriter, TrailerIsEndMarkerPaddedToTheNext512Boundary) {
    struct Case {
        std::uint64_t offset;
        std::size_t expectedSize;
    };
    for (const Case& c : {Case{0, 512}, Case{508, 4}, Case{509, 515}, Case{1000, 24},
                          Case{0x47800, 512}, Case{0x47FFC, 4}}) {
        SCOPED_TRACE(c.offset);
        Bytes trailer = encodeTrailer(c.offset);
        ASSERT_EQ(trailer.size(), c.expectedSize);
        EXPECT_EQ(Bytes(trailer.begin(), trailer.begin() + 4), (Bytes{0xE8, 0xE4, 0x13, 0xD5}));
        EXPECT_EQ(static_cast<std::size_t>(std::count(trailer.begin() + 4, trailer.end(), 0)),
                  c.expectedSize - 4);
    }
}

} // namespace
} // namespace kwn::build
