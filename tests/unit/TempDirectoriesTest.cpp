#include "files/TempDirectories.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using test::exitCodeOf;
using test::widen;
using testing::HasSubstr;
using testing::Not;

const std::string kTemp = "C:\\Users\\a\\AppData\\Local\\Temp\\";
const std::string kNoTempDirectory = "You must be at least Poweruser to run this program.";

// A platform temp path whose long form shows a character the ANSI code page cannot carry.
void unrepresentableTempPath(test::FakeFiles& files) {
    files.systemTempPath = u"C:\\Users\\ZHENYA~1\\Temp\\";
    files.longPaths[u"C:\\Users\\ZHENYA~1\\Temp\\"] = u"C:\\Users\\?enya\\Temp\\";
}

class TempDirectoriesTest : public testing::Test {
protected:
    void SetUp() override {
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.files.addDirectory("C:\\Logs");
        ctx.log.setForced(true);
        ctx.config.setNarrow(1015, kNoTempDirectory);
        ctx.config.setNarrow(1009, "An internal error occurred (error code: {0})");
    }
    std::string logText() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

TEST_F(TempDirectoriesTest, PlatformPathIsKeptWithItsFinalBackslash) {
    fake.files.addDirectory("C:\\Users\\a\\AppData\\Local");
    EXPECT_EQ(getSystemTempDirectory(ctx), kTemp);         // creates it
    EXPECT_EQ(getSystemTempDirectoryW(ctx), widen(kTemp)); // finds it there
    EXPECT_TRUE(fake.files.hasDirectory(kTemp));
    EXPECT_THAT(logText(),
                HasSubstr("\nGetTempPath returned 30 (last error 0)\nmake dir returned 0\n"
                          "GetTempPath returned 30 (last error 0)\nmake dir returned -1\n"));
}

TEST_F(TempDirectoriesTest, EmptyPlatformPathFallsBackToTheHomeDirectory) {
    fake.files.systemTempPath.clear();
    fake.environment.variables["HOMEDRIVE"] = "C:";
    fake.environment.variables["HOMEPATH"] = "\\Users\\a";
    EXPECT_EQ(getSystemTempDirectory(ctx), "C:\\Users\\a");
    EXPECT_EQ(getSystemTempDirectoryW(ctx), u"C:\\Users\\a");
    EXPECT_THAT(logText(), HasSubstr("\nGetTempPath returned 0 (last error 0)\n"
                                     "No temp dir defined. Using home C:\\Users\\a\n"
                                     "GetTempPath returned 0 (last error 0)\n"
                                     "No temp dir defined. Using home C:\\Users\\a\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("make dir returned")));
}

TEST_F(TempDirectoriesTest, UnrepresentablePathTriesTheFallbacksInOrder) {
    using Dirs = std::vector<const char*>;
    struct Case {
        const char* name;
        Dirs writable;
        Dirs readOnly;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Windows temp first",
         {"C:\\Windows\\temp", "c:\\temp", "c:\\tmp"},
         {},
         "C:\\Windows\\temp"},
        {"then c:\\temp", {"c:\\temp", "c:\\tmp"}, {"C:\\Windows\\temp"}, "c:\\temp"},
        {"then c:\\tmp", {"c:\\tmp"}, {}, "c:\\tmp"},
        {"then the Windows directory", {"C:\\Windows"}, {}, "C:\\Windows"},
        {"c:\\tmp made in a writable c:\\", {"c:\\"}, {"C:\\Windows"}, "c:\\tmp"},
        {"nothing writable", {}, {"C:\\Windows", "c:\\"}, std::nullopt},
    };
    for (const Case& c : cases) {
        for (bool wide : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (wide ? " (wide)" : ""));
            test::FakePlatform machine;
            unrepresentableTempPath(machine.files);
            for (const char* dir : c.writable)
                machine.files.addDirectory(dir);
            for (const char* dir : c.readOnly) {
                machine.files.addDirectory(dir);
                machine.files.readOnlyDirectories.insert(widen(dir));
            }
            launcher::LaunchContext context(machine.platform());
            context.config.setNarrow(1015, kNoTempDirectory);
            std::u16string result;
            std::optional<int> exit = exitCodeOf([&] {
                result = wide ? getSystemTempDirectoryW(context)
                              : widen(getSystemTempDirectory(context));
            });
            if (c.expected) {
                EXPECT_EQ(exit, std::nullopt);
                EXPECT_EQ(result, widen(*c.expected));
            } else {
                EXPECT_EQ(exit, 1);
                ASSERT_EQ(machine.ui.boxes.size(), 1u);
                EXPECT_EQ(machine.ui.boxes[0].text, widen(kNoTempDirectory));
                EXPECT_TRUE(machine.ui.boxes[0].wide);
            }
            for (const std::u16string& dir : machine.files.directories)
                EXPECT_FALSE(dir.ends_with(u"qvo_w_testdir")) << test::narrow(dir);
        }
    }
}

TEST_F(TempDirectoriesTest, LeftoverTestDirectoryIsRemovedFirst) {
    unrepresentableTempPath(fake.files);
    fake.files.addDirectory("C:\\Windows\\temp\\qvo_w_testdir");
    EXPECT_EQ(getSystemTempDirectory(ctx), "C:\\Windows\\temp");
    EXPECT_FALSE(fake.files.hasDirectory("C:\\Windows\\temp\\qvo_w_testdir"));
}

TEST_F(TempDirectoriesTest, TempFileNameIsMadeByThePlatformAndLogged) {
    fake.files.addDirectory(kTemp);
    const std::string name = kTemp + "qvo1A2B.tmp";
    EXPECT_EQ(createTempFileName(ctx), name);
    EXPECT_TRUE(fake.files.hasFile(name));
    EXPECT_THAT(logText(), HasSubstr("\ntempPath is " + kTemp + "\ntempFile is " + name + "\n"));
}

TEST_F(TempDirectoriesTest, FailedTempFileNameFallsBackToATimeSeededRandomNumber) {
    fake.files.addDirectory(kTemp);
    fake.files.readOnlyDirectories.insert(widen(kTemp).substr(0, kTemp.size() - 1));
    fake.system.seconds = 1234567;
    test::FakeSystem reference;
    reference.seedRandom(1234567);
    const std::string name = kTemp + "qvo" + std::to_string(reference.random());
    EXPECT_EQ(createTempFileName(ctx), name);
    EXPECT_THAT(logText(),
                HasSubstr("\ntempPath is " + kTemp +
                          "\nGetTempFileName failed (last error 5)\ntempFile is " + name + "\n"));
}

TEST_F(TempDirectoriesTest, LauncherTempDirectoryIsTheTempFileNameWithTheTime) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {1700000000, "1700000000"},
        {0x100000000LL + 42, "42"},
        {0x80000000LL, "-2147483648"},
    };
    for (const auto& [seconds, suffix] : cases) {
        SCOPED_TRACE(suffix);
        fake.files.addDirectory(kTemp);
        fake.system.seconds = seconds;
        fake.files.tempFileCounter = 0xBEEF;
        const std::string directory = kTemp + "qvoBEEF.tmp_dir" + suffix;
        createLauncherTempDirectory(ctx);
        EXPECT_EQ(ctx.tempDirectory, directory);
        EXPECT_TRUE(fake.files.hasDirectory(directory));
        EXPECT_TRUE(fake.files.hasFile(kTemp + "qvoBEEF.tmp")); // stays beside the directory
        EXPECT_THAT(logText(), HasSubstr("\nTemp dir3: " + directory + "\n"));
    }
}

TEST_F(TempDirectoriesTest, NameTakenAlreadyIsRetriedWithTheNextTempFile) {
    fake.files.addDirectory(kTemp + "qvo1A2B.tmp_dir1700000000");
    fake.files.addDirectory(kTemp + "qvo1A2C.tmp_dir1700000000");
    createLauncherTempDirectory(ctx);
    EXPECT_EQ(ctx.tempDirectory, kTemp + "qvo1A2D.tmp_dir1700000000");
    EXPECT_THAT(logText(), HasSubstr("\nTemp dir3: " + kTemp +
                                     "qvo1A2C.tmp_dir1700000000\nCould not create dir (183)\n"));
}

TEST_F(TempDirectoriesTest, TenFailuresEndWithInternalError7) {
    fake.files.addDirectory(kTemp);
    fake.files.readOnlyDirectories.insert(widen(kTemp).substr(0, kTemp.size() - 1));
    ctx.tempDirectory = "C:\\stale";
    fake.files.addDirectory(ctx.tempDirectory);
    EXPECT_EQ(exitCodeOf([&] { createLauncherTempDirectory(ctx); }), 1);
    EXPECT_EQ(ctx.tempDirectory, "");
    EXPECT_TRUE(fake.files.hasDirectory("C:\\stale")); // not taken for the launcher's own
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text,
              u"An internal error occurred (error code: 7)\n\nLog: C:\\Logs\\kwn_nlog_1");
    std::string log = logText();
    size_t attempts = 0;
    for (size_t at = log.find("Could not create dir (5)\n"); at != std::string::npos;
         at = log.find("Could not create dir (5)\n", at + 1))
        ++attempts;
    EXPECT_EQ(attempts, 10u);
}

} // namespace
} // namespace kwn::files
