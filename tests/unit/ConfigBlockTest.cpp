#include "config/ConfigBlock.h"

#include <gtest/gtest.h>

namespace kwn::config {
namespace {

constexpr Key kKey = 4711;

ConfigBlock blockWith(const std::string& value) {
    ConfigBlock block;
    block.setNarrow(kKey, value);
    return block;
}

TEST(ConfigGetters, AbsentKeyReadsAsEmpty) {
    ConfigBlock block;
    block.setNarrow(1, "other");
    EXPECT_EQ(block.getString(kKey), "");
    EXPECT_EQ(block.getWString(kKey), u"");
    EXPECT_EQ(block.getInt(kKey), 0);
    EXPECT_EQ(block.getColor(kKey), 0u);
}

TEST(ConfigGetters, NoGetterReadsTheWideTable) {
    ConfigBlock block;
    block.setWide(kKey, u"wide only");
    EXPECT_EQ(block.getString(kKey), "");
    EXPECT_EQ(block.getWString(kKey), u"");
    EXPECT_EQ(block.wideEntry(kKey), u"wide only");
}

TEST(ConfigGetters, IntReadsTheLeadingNumberAsAtoiDoes) {
    struct Case {
        const char* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"-1", -1},
        {" +7", 7},
        {"\t\n 42", 42},
        {"", 0},
        {"0x10", 0},
        {"1 2", 1},
        {"+-3", 0},
        {"- 5", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(blockWith(c.text).getInt(kKey), c.expected);
    }
}

TEST(ConfigGetters, ColorPacksRedGreenBlueFromCommaFields) {
    struct Case {
        const char* text;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"0,0,0", 0},
        {"255,128,0", 0x0080FF},
        {"255,,7", 0x0007FF},
        {"300,1", 0x012C},
        {"", 0},
        {"10", 10},
        {"1,2,3,4", 0x030201},
        {",,,5", 5},
        {"-1,0,0", 0xFF},
        {" 1, 2, 3", 0x030201},
        {"a,b,c", 0},
        {"1,2,", 0x0201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(blockWith(c.text).getColor(kKey), c.expected);
    }
}

TEST(ConfigGetters, WideStringWidensEachByteWithoutCodePage) {
    EXPECT_EQ(blockWith("caf\xE9").getWString(kKey), u"caf\u00E9");
    EXPECT_EQ(blockWith("\x80\xFF").getWString(kKey), u"\u0080\u00FF");
}

TEST(ConfigGetters, CapacityCutsTheValueBeforeItsTerminator) {
    ConfigBlock block = blockWith("ie");
    EXPECT_EQ(block.getString(kKey, 2), "i");
    EXPECT_EQ(block.getString(kKey, 1), "");
    EXPECT_EQ(block.getString(kKey, 0), "");
    EXPECT_EQ(block.getString(kKey, 3), "ie");
    EXPECT_EQ(block.getWString(kKey, 2), u"i");
}

TEST(ConfigGetters, DefaultCapacityHoldsAtMost5999Units) {
    ConfigBlock block = blockWith(std::string(7000, 'x'));
    EXPECT_EQ(block.getString(kKey).size(), kTextCapacity - 1);
    EXPECT_EQ(block.getWString(kKey).size(), kTextCapacity - 1);
    EXPECT_EQ(blockWith(std::string(5999, 'y')).getString(kKey).size(), 5999u);
}

TEST(ConfigGetters, IntLooksOnlyAtTheCutValue) {
    // Digits beyond the 6000-byte buffer never reach the number.
    ConfigBlock block = blockWith(std::string(5998, ' ') + "12");
    EXPECT_EQ(block.getInt(kKey), 1);
}

TEST(ConfigGetters, LaterSetReplacesEarlier) {
    ConfigBlock block;
    block.setNarrow(103, "first.log");
    block.setNarrow(103, "error.log");
    EXPECT_EQ(block.getString(103), "error.log");
    EXPECT_EQ(block.narrowCount(), 1u);
}

} // namespace
} // namespace kwn::config
