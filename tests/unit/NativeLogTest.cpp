#include "diag/NativeLog.h"

#include "fake/FakePlatform.h"

#include <gtest/gtest.h>

namespace kwn::diag {
namespace {

TEST(FormatPrintf, ConversionsFollowTheWindowsRuntime) {
    const void* pointer = reinterpret_cast<const void*>(std::uintptr_t{0x1234ABCD});
    const std::u16string path = u"C:\\apps\\tool.exe";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {formatPrintf("%s|%S|%S", {"narrow", u"caf\u00E9", u"\u0100x\u20AC"}), "narrow|caf\xE9|?x?"},
        {formatPrintf("%d %i %u %u", {-5, 42, 4294967295u, -1}), "-5 42 4294967295 4294967295"},
        {formatPrintf("%d %x %X %x", {0x80000000u, 255, 255, -1}), "-2147483648 ff FF ffffffff"},
        {formatPrintf("%I64d %I64d %I64x", {-9000000000LL, 5, -1LL}), "-9000000000 5 ffffffffffffffff"},
        {formatPrintf("%p", {pointer}), std::string(2 * sizeof(void*) - 8, '0') + "1234ABCD"},
        {formatPrintf("%c|%3c|%5d|%-5d|%05d|%10d", {65, 'x', 42, 42, 42, 42}), "A|  x|   42|42   |00042|        42"},
        {formatPrintf("%+d|% d|%+u|%#x|%#X|%#o|%#x|%.3d|%-+5d|%.0d|%05x|%5.3d|%-05d|%#.0o|%08.3x|% 05d",
                      {5, 5, 5u, 255, 255, 8, 0, 7, 3, 0, 255, -7, 4, 0, 10, -3}),
         "+5| 5|5|0xff|0XFF|010|0|007|+3   ||000ff| -007|4    |0|     00a|-0003"},
        {formatPrintf("%.2s|%8.3s|%-6s|%.0s|", {"abcdef", "abcdef", "ab", "ab"}), "ab|     abc|ab    ||"},
        {formatPrintf("%s|%ld|%d", {static_cast<const char*>(nullptr), 7L, std::int64_t{0x2A00}}), "(null)|7|10752"},
        {formatPrintf("%s=%d (%S)", {"count", 3, path}), "count=3 (C:\\apps\\tool.exe)"},
        {formatPrintf("100%% sure, 5% off", {}), "100% sure, 5% off"}, {formatPrintf("", {}), ""},
        {formatPrintf("%d and %s", {1}), "1 and %s"}, {formatPrintf("%f %d|ends with %5", {7, 8}), "%f 7|ends with %5"}};
    // clang-format on
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
}

// Off unless forced or a variable says exactly "yes", decided at the first line. The file goes
// to TMP when it names a directory, else the drive root; without either it goes nowhere, under
// the fixed path.
TEST(NativeLogTest, TheFirstLineDecidesWhetherAndWhereTheLogIsWritten) {
    const std::u16string temp = u"C:\\Users\\a\\AppData\\Local\\Temp",
                         tempLog = temp + u"\\kwn_nlog_1";
    const std::u16string root = u"c:\\kwn_nlog_1", fixed = u"c:\\kwn_nlog";
    const std::string tmp = test::narrow(temp);
    // clang-format off
    const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>, std::optional<std::u16string>> cases[] = {
        {"YES", tmp, "yes", tempLog}, {"yes", tmp + "\\", {}, tempLog}, {"yes ", tmp, "Yes", {}}, {"", tmp, {}, {}},
        {"yes", {}, {}, root}, {"yes", "C:\\no", {}, root}, {"yes", "", {}, root}, {"no drive", {}, "yes", fixed}};
    // clang-format on
    for (const auto& [qelvo, tmpVariable, kestrowan, path] : cases) {
        test::FakePlatform fake;
        fake.process.moduleFile = u"C:\\apps\\tool.exe";
        fake.system.time = {2026, 12, 6, 22, 29, 47, 0};
        fake.files.addDirectory(temp);
        if (std::string_view(qelvo) != "no drive")
            fake.files.addDirectory(u"c:\\");
        if (tmpVariable)
            fake.environment.variables["TMP"] = *tmpVariable;
        fake.environment.variables["QELVO_LOG"] = qelvo;
        if (kestrowan)
            fake.environment.variables["KESTROWAN_LOG"] = *kestrowan;
        NativeLog log(fake.platform());
        log.logMessage("x");
        fake.environment.variables.clear();
        log.setForced(true); // too late: the first line has decided
        log.logError("%d%%", 5);
        EXPECT_EQ(log.logFilePath(), path) << qelvo << " " << tmpVariable.value_or("-");
        EXPECT_EQ(fake.files.text(path.value_or(tempLog)),
                  path && *path != fixed ? "Started executable C:\\apps\\tool.exe at Sun Dec  6 "
                                           "22:29:47 2026\n\nx\nERROR: 5%\n"
                                         : "");
    }
}

} // namespace
} // namespace kwn::diag
