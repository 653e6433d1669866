#include "diag/PrintfFormat.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kwn::diag {
namespace {

TEST(FormatPrintf, ConversionsFollowTheWindowsRuntime) {
    const char16_t wideText[] = u"wide";
    const char narrowText[] = "narrow";
    std::u16string latin = u"caf\u00E9";
    std::u16string beyondLatin = u"\u0100x\u20AC";
    long long big = -9000000000LL;
    const void* pointer = reinterpret_cast<const void*>(std::uintptr_t{0x1234ABCD});
    std::string pointerText(2 * sizeof(void*) - 8, '0');
    pointerText += "1234ABCD";
    struct Case {
        std::string expected;
        std::string actual;
    };
    const Case cases[] = {
        {"narrow", formatPrintf("%s", {narrowText})},
        {"wide", formatPrintf("%S", {wideText})},
        {"caf\xE9", formatPrintf("%S", {latin})},
        {"?x?", formatPrintf("%S", {beyondLatin})},
        {"-5", formatPrintf("%d", {-5})},
        {"42", formatPrintf("%i", {42})},
        {"4294967295", formatPrintf("%u", {4294967295u})},
        {"4294967295", formatPrintf("%u", {-1})},
        {"-2147483648", formatPrintf("%d", {0x80000000u})},
        {"ff", formatPrintf("%x", {255})},
        {"FF", formatPrintf("%X", {255})},
        {"ffffffff", formatPrintf("%x", {-1})},
        {"-9000000000", formatPrintf("%I64d", {big})},
        {"5", formatPrintf("%I64d", {5})},
        {"ffffffffffffffff", formatPrintf("%I64x", {-1LL})},
        {pointerText, formatPrintf("%p", {pointer})},
        {"100%", formatPrintf("100%%", {})},
        {"A", formatPrintf("%c", {65})},
        {"   42", formatPrintf("%5d", {42})},
        {"42   |", formatPrintf("%-5d|", {42})},
        {"00042", formatPrintf("%05d", {42})},
        {"ab", formatPrintf("%.2s", {"abcdef"})},
        {"     abc|", formatPrintf("%8.3s|", {"abcdef"})},
        {"ab    |", formatPrintf("%-6s|", {"ab"})},
        {"  x", formatPrintf("%3c", {'x'})},
        {"(null)", formatPrintf("%s", {static_cast<const char*>(nullptr)})},
        {"size 7 of lib.jar", formatPrintf("size %ld of %s", {7L, "lib.jar"})},
        {"rawDataSize: 10752, rawDataOffset: 282112",
         formatPrintf("rawDataSize: %d, rawDataOffset: %d",
                      {std::int64_t{0x2A00}, std::int64_t{0x44E00}})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual, c.expected);
}

TEST(FormatPrintf, TextWithoutConversionsIsUnchanged) {
    EXPECT_EQ(formatPrintf("Searching for a JVM", {}), "Searching for a JVM");
    EXPECT_EQ(formatPrintf("", {}), "");
}

TEST(FormatPrintf, ConversionWithoutArgumentStaysAsWritten) {
    EXPECT_EQ(formatPrintf("%d and %s", {1}), "1 and %s");
    EXPECT_EQ(formatPrintf("no args %d %S here", {}), "no args %d %S here");
    EXPECT_EQ(formatPrintf("100% sure", {}), "100% sure");
}

TEST(FormatPrintf, UnknownOrUnfinishedConversionConsumesNoArgument) {
    EXPECT_EQ(formatPrintf("%f %d", {7}), "%f 7");
    EXPECT_EQ(formatPrintf("ends with %", {1}), "ends with %");
    EXPECT_EQ(formatPrintf("ends with %5", {1}), "ends with %5");
}

TEST(FormatPrintf, ArgumentsAreTakenInOrder) {
    std::u16string path = u"C:\\apps\\tool.exe";
    EXPECT_EQ(formatPrintf("%s=%d (%S)", {"count", 3, path}), "count=3 (C:\\apps\\tool.exe)");
}

TEST(NarrowLatin1, KeepsLatin1AndMarksTheRest) {
    EXPECT_EQ(narrowLatin1(u"a\u00FF\u0100\u4E2D"), "a\xFF??");
    EXPECT_EQ(narrowLatin1(u""), "");
}

} // namespace
} // namespace kwn::diag
