#include "files/LauncherPaths.h"
#include "files/FileQueries.h"

#include "fake/FakePlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace kwn::files {
namespace {

using test::widen;
using testing::ElementsAre;
using testing::IsEmpty;

// A launcher under a name the narrow code page cannot carry, and its 8.3 form.
const std::u16string kUnicodeModule = u"C:\\apps\\\u0416tool\\run.exe";
const std::u16string kShortModule = u"C:\\apps\\ZTOOL~1\\run.exe";

// Byte 0x81 (a lead byte without its trail byte) widens to a character with no way back.
class StrayLeadByteCodePage : public test::FakeCodePage {
public:
    std::u16string toWide(const std::string& text) override {
        std::u16string wide = test::widen(text);
        std::replace(wide.begin(), wide.end(), u'\u0081', u'\uFFFD');
        return wide;
    }
};

class LauncherPathsTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
        fake.files.shortPaths[kUnicodeModule] = kShortModule;
    }

    test::FakePlatform fake;
    LauncherPaths paths{fake.platform()};
};

TEST(IsRelativePath, OnlyDriveRootsAndUncPathsAreAbsolute) {
    const std::pair<const char*, bool> cases[] = {
        {"C:\\dir\\file.jar", false},
        {"\\\\server\\share\\x.jar", false},
        {"x:\\", false},
        {"C:file", true},
        {"\\dir", true},
        {"/dir", true},
        {"C:/dir", true},
        {"C:", true},
        {"lib\\C:\\x", true},
        {"\"C:\\x", false},
        {"\"\\\\srv", false},
        {"\"C:", true},
        {"\"C:x\\", true},
        {"\"\"C:\\x", true}, // only one quote is looked behind
    };
    for (const auto& [path, relative] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(isRelativePath(std::string_view(path)), relative);
        EXPECT_EQ(isRelativePath(std::u16string_view(widen(path))), relative);
    }
}

TEST_F(LauncherPathsTest, CollapsingKeepsOnlyALeadingPair) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\a\\\\b\\\\\\c", "C:\\a\\b\\c"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\\\\\x", "\\\\x"},
        {"a\\\\\\b", "a\\b"},
        {"C:\\caf\xE9\\\\x", "C:\\caf\xE9\\x"},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(paths.collapseBackslashes(path), expected);
        EXPECT_EQ(collapseBackslashesW(widen(path)), widen(expected));
    }
}

TEST_F(LauncherPathsTest, NarrowTextWithoutAWayBackIsLeftAsItWas) {
    StrayLeadByteCodePage codePage;
    platform::Platform os{fake.files,    fake.environment, fake.process, fake.ui,
                          fake.console,  fake.system,      fake.threads, codePage,
                          fake.registry, fake.programs,    fake.ipc};
    LauncherPaths lossy(os);
    fake.process.moduleFile = u"C:\\\u0081\\run.exe";
    EXPECT_EQ(lossy.collapseBackslashes("C:\\a\\\\\x81"), "C:\\a\\\\\x81");
    EXPECT_EQ(lossy.getFullPath("C:\\APPS\\\x81", false), "C:\\APPS\\\x81"); // not lowered
    EXPECT_EQ(lossy.getFullPath("C:\\APPS\\\\X", false), "c:\\apps\\x");
    // Narrow-safe means the narrow bytes widened one by one, not through the code page.
    EXPECT_EQ(lossy.getLauncherDirectoryW(true), u"C:\\\u0081\\");
}

TEST(ModulePaths, NarrowPathSurvivesTheCodePage) {
    struct Case {
        const char* name;
        std::u16string module;
        std::map<std::u16string, std::u16string> longPaths, shortPaths;
        std::string narrow;
        std::u16string wide;
    };
    const std::u16string ansi = u"C:\\apps\\?tool\\run.exe"; // GetModuleFileNameA's answer
    // clang-format off
    const Case cases[] = {
        {"plain", u"C:\\a\\run.exe", {}, {}, "C:\\a\\run.exe", u"C:\\a\\run.exe"},
        {"long form", u"C:\\A~1\\run.exe", {{u"C:\\A~1\\run.exe", u"C:\\a b\\run.exe"}}, {},
         "C:\\a b\\run.exe", u"C:\\a b\\run.exe"},
        {"8.3 form", kUnicodeModule, {}, {{kUnicodeModule, kShortModule}},
         "C:\\apps\\ZTOOL~1\\run.exe", kUnicodeModule},
        {"8.3 form unrepresentable too", kUnicodeModule, {},
         {{kUnicodeModule, kUnicodeModule}, {ansi, u"C:\\APPS\\RUN~2.EXE"}},
         "C:\\APPS\\RUN~2.EXE", kUnicodeModule},
        {"upper-case extension", u"C:\\RUN.EXE", {}, {}, "C:\\RUN.EXE", u"C:\\RUN.EXE"},
        {"no .exe ending", u"C:\\apps\\run.ex", {}, {}, test::narrow(ansi), u"C:\\apps\\run.ex"},
        {"doubled backslashes", u"\\\\srv\\\\s\\\\\\run.exe", {}, {},
         "\\\\srv\\s\\run.exe", u"\\\\srv\\s\\run.exe"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform machine;
        machine.process.moduleFile = c.module;
        machine.process.moduleFileA = test::narrow(ansi);
        machine.files.longPaths = c.longPaths;
        machine.files.shortPaths = c.shortPaths;
        LauncherPaths where(machine.platform());
        EXPECT_EQ(where.getModulePath(), c.narrow);
        EXPECT_EQ(where.getModulePathW(), c.wide);
    }
}

TEST_F(LauncherPathsTest, LauncherDirectoryFormsEndWithABackslashAndAreKept) {
    fake.process.moduleFile = u"C:\\apps\\x\\..\\\u0416tool\\run.exe";
    fake.files.shortPaths[fake.process.moduleFile] = kShortModule;
    EXPECT_EQ(paths.getLauncherDirectory(), "C:\\apps\\ZTOOL~1\\");
    EXPECT_EQ(paths.getLauncherDirectoryW(true), u"C:\\apps\\ZTOOL~1\\");
    EXPECT_EQ(paths.getLauncherDirectoryW(false), u"C:\\apps\\\u0416tool\\");
    // Computed once: a later change of the working directory or module does not move them.
    fake.process.moduleFile = u"D:\\other\\run.exe";
    fake.files.currentDirectory = u"D:\\";
    EXPECT_EQ(paths.getLauncherDirectoryW(false), u"C:\\apps\\\u0416tool\\");
    EXPECT_EQ(paths.makeAbsolute("a"), "C:\\apps\\ZTOOL~1\\a");
}

TEST_F(LauncherPathsTest, MakeAbsolutePutsTheLauncherDirectoryInFrontOfRelativePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {".\\app.jar", "C:\\apps\\tool\\.\\app.jar"},
        {"\\dir", "C:\\apps\\tool\\dir"},
        {"D:\\x\\\\y.jar", "D:\\x\\y.jar"},
        {"\"D:\\x.jar\"", "\"D:\\x.jar\""},
        {"\"app.jar\"", "C:\\apps\\tool\\\"app.jar\""},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(paths.makeAbsolute(path), expected);
        EXPECT_EQ(paths.makeAbsoluteW(widen(path), false), widen(expected));
    }
    fake.files.currentDirectory = u"C:\\work";
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "C:\\cfg\\app.vmoptions"), "C:\\cfg\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "conf\\..\\app.vmoptions"), "C:\\work\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", true, u"C:\\cfg\\x.vmoptions"), u"C:\\cfg\\a.jar");
}

TEST_F(LauncherPathsTest, FullPathResolvesDotsAndLowersOnlyAToZ) {
    struct Case {
        const char* path;
        bool keepCase;
        const char* expected;
    };
    const Case cases[] = {
        {"..\\lib", false, "c:\\apps\\lib"},
        {"..\\lib", true, "C:\\apps\\lib"},
        {"..\\LIB\xC9", false, "c:\\apps\\lib\xC9"},
        {"D:\\X\\.\\Y\\\\..\\Z", true, "D:\\X\\Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(paths.getFullPath(c.path, c.keepCase), c.expected);
        EXPECT_EQ(paths.getFullPathW(widen(c.path), c.keepCase, false), widen(c.expected));
    }
}

TEST_F(LauncherPathsTest, UnicodeFormsChooseTheLauncherDirectoryByNarrowSafe) {
    fake.process.moduleFile = kUnicodeModule;
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", true), u"C:\\apps\\ZTOOL~1\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", false), u"C:\\apps\\\u0416tool\\a.jar");
    EXPECT_EQ(paths.getFullPathW(u"Lib", true, true), u"C:\\apps\\ZTOOL~1\\Lib");
    EXPECT_EQ(paths.getFullPathW(u"Lib", false, false), u"c:\\apps\\\u0416tool\\lib");
}

TEST_F(LauncherPathsTest, AbsoluteListDropsEmptyPiecesAndHasNoTrailingSeparator) {
    EXPECT_EQ(paths.makeAbsoluteList("a;;b;"), "C:\\apps\\tool\\a;C:\\apps\\tool\\b");
    EXPECT_EQ(paths.makeAbsoluteList(";D:\\x\\\\y"), "D:\\x\\y");
    EXPECT_EQ(paths.makeAbsoluteList(";;"), "");
}

TEST(FileExists, DriveRootsNeedNoLookupAndAFinalBackslashFindsNothing) {
    struct Case {
        const char* path;
        bool exists;
        bool lookedUp;
    };
    const Case cases[] = {
        {"C:\\", true, false},   {"C:\\.", true, false},         {"C:\\.\\.", true, false},
        {"Q:\\.", true, false},  {"C:\\..", false, true},        {"C:\\.\\", false, true},
        {"C:\\dir", true, true}, {"C:\\dir\\", false, true},     {"C:\\dir\\a.jar", true, true},
        {"C:", false, true},     {"C:\\dir\\*.JAR", true, true}, {"C:\\dir\\b.jar", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        test::FakeFiles files;
        files.addFile("C:\\dir\\a.jar", "");
        EXPECT_EQ(fileExists(files, c.path), c.exists);
        EXPECT_EQ(fileExistsW(files, widen(c.path)), c.exists);
        EXPECT_EQ(files.findFirstPaths.size(), c.lookedUp ? 2u : 0u);
    }
}

TEST(FileExists, CopiesTheLastWriteTimeOfAnEntryFound) {
    test::FakeFiles files;
    files.addFile("C:\\dir\\a.jar", "");
    files.lastWriteTimes[u"C:\\dir\\a.jar"] = 0x01D9ABCDEF012345u;
    std::uint64_t time = 7;
    EXPECT_TRUE(fileExists(files, "C:\\dir\\a.jar", &time));
    EXPECT_EQ(time, 0x01D9ABCDEF012345u);
}

TEST(ListFiles, MatchesTheExtensionIgnoringCaseDirectoriesIncluded) {
    test::FakeFiles files;
    for (const char* name : {"a.jar", "b.JAR", "c.jar.bak", "e.txt", "jar"})
        files.addFile(std::string("C:\\lib\\") + name, "");
    files.addDirectory("C:\\lib\\d.jar");
    EXPECT_THAT(listFiles(files, "C:\\lib", "jar"), ElementsAre("a.jar", "b.JAR", "d.jar"));
    EXPECT_THAT(listFiles(files, "C:\\lib", ".jar"), ElementsAre("a.jar", "b.JAR", "d.jar"));
    EXPECT_THAT(files.findPatterns, ElementsAre("C:\\lib\\*.jar", "C:\\lib\\*.jar"));
    EXPECT_THAT(listFiles(files, "C:\\lib", "zip"), IsEmpty());
    EXPECT_THAT(listFiles(files, "C:\\missing", "jar"), IsEmpty());
}

} // namespace
} // namespace kwn::files
