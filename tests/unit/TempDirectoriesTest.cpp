#include "files/TempDirectories.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using test::widen;
using testing::HasSubstr;

const std::string kTemp = "C:\\Users\\a\\AppData\\Local\\Temp\\";

class TempDirectoriesTest : public test::LoggedLaunchTest {
protected:
    TempDirectoriesTest() { fake.files.addDirectory("C:\\Users\\a\\AppData\\Local"); }
};

TEST_F(TempDirectoriesTest, PlatformPathIsMadeAndKeptWithItsFinalBackslash) {
    EXPECT_EQ(getSystemTempDirectory(ctx), kTemp);         // creates it
    EXPECT_EQ(getSystemTempDirectoryW(ctx), widen(kTemp)); // finds it there
    EXPECT_THAT(logText(), HasSubstr("\nGetTempPath returned 30 (last error 0)\nmake dir returned "
                                     "0\nGetTempPath returned 30 (last error 0)\nmake dir "
                                     "returned -1\n"));
}

// A long form the narrow code page cannot carry ("?") sends the search to fixed fallbacks; a
// directory is writable when a test directory can be made in it, which is removed again.
TEST(TempDirectories, UnrepresentablePathTriesTheFallbacksInOrder) {
    using Dirs = std::vector<const char*>;
    // clang-format off
    const std::tuple<Dirs, Dirs, std::u16string> cases[] = { // writable, read-only, chosen
        {{"C:\\Windows\\temp", "C:\\Windows\\temp\\qvo_w_testdir", "c:\\temp"}, {}, u"C:\\Windows\\temp"},
        {{"c:\\temp", "c:\\tmp"}, {"C:\\Windows\\temp"}, u"c:\\temp"},
        {{"c:\\tmp"}, {}, u"c:\\tmp"},
        {{"C:\\Windows"}, {}, u"C:\\Windows"},
        {{"c:\\"}, {"C:\\Windows"}, u"c:\\tmp"}, // made there
        {{}, {"C:\\Windows", "c:\\"}, u"exit: No temp"},
    };
    // clang-format on
    for (const auto& [writable, readOnly, expected] : cases) {
        for (bool wide : {false, true}) {
            SCOPED_TRACE(test::narrow(expected) + (wide ? " (wide)" : ""));
            test::LoggedLaunch m;
            m.fake.files.systemTempPath = u"C:\\Users\\ZHENYA~1\\Temp\\";
            m.fake.files.longPaths[u"C:\\Users\\ZHENYA~1\\Temp\\"] = u"C:\\Users\\?enya\\Temp\\";
            for (const char* dir : writable)
                m.fake.files.addDirectory(dir);
            for (const char* dir : readOnly) {
                m.fake.files.addDirectory(dir);
                m.fake.files.readOnlyDirectories.insert(widen(dir));
            }
            m.ctx.config.setNarrow(1015, "No temp");
            std::u16string result;
            if (test::exitCodeOf([&] {
                    result = wide ? getSystemTempDirectoryW(m.ctx)
                                  : widen(getSystemTempDirectory(m.ctx));
                }))
                result = u"exit: " + m.fake.ui.boxes.at(0).text.substr(0, 7);
            EXPECT_EQ(result, expected);
            for (const std::u16string& dir : m.fake.files.directories)
                EXPECT_FALSE(dir.ends_with(u"qvo_w_testdir")) << test::narrow(dir);
        }
    }
}

// The launcher's directory is a temp file name with the time (32 bits, signed) behind it.
// Without a name from the platform the name is a random number seeded with the time, and ten
// directories that cannot be made end the launch.
TEST_F(TempDirectoriesTest, LauncherTempDirectoryIsTheTempFileNameWithTheTime) {
    fake.files.addDirectory(kTemp);
    // clang-format off
    for (const auto& [seconds, suffix] : {std::pair<std::int64_t, std::string>{1700000000, "1700000000"},
                                          {0x100000000LL + 42, "42"}, {0x80000000LL, "-2147483648"}}) {
        // clang-format on
        fake.system.seconds = seconds;
        fake.files.tempFileCounter = 0xBEEF;
        createLauncherTempDirectory(ctx);
        EXPECT_EQ(ctx.tempDirectory, kTemp + "qvoBEEF.tmp_dir" + suffix);
    }
    fake.files.readOnlyDirectories.insert(widen(kTemp).substr(0, kTemp.size() - 1));
    fake.system.seconds = 1234567;
    test::FakeSystem reference;
    reference.seedRandom(1234567);
    const std::string name = kTemp + "qvo" + std::to_string(reference.random());
    EXPECT_EQ(test::exitCodeOf([&] { createLauncherTempDirectory(ctx); }), 1);
    EXPECT_EQ(ctx.tempDirectory, ""); // the last success is not left behind
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("\ntempPath is " + kTemp +
                               "\nGetTempFileName failed (last error 5)"
                               "\ntempFile is " +
                               name + "\nTemp dir3: " + name + "_dir1234567\n"));
    size_t attempts = 0;
    for (size_t at = 0; (at = log.find("Could not create dir (5)", at + 1)) != std::string::npos;)
        ++attempts;
    EXPECT_EQ(attempts, 10u);
}

} // namespace
} // namespace kwn::files
