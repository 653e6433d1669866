#include "files/LauncherPaths.h"
#include "files/FileQueries.h"

#include "fake/FakePlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using test::widen;

// A launcher under a name the narrow code page cannot carry, and its 8.3 form.
const std::u16string kUnicodeModule = u"C:\\apps\\\u0416tool\\run.exe";
const std::u16string kShortModule = u"C:\\apps\\ZTOOL~1\\run.exe";

class LauncherPathsTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
        fake.files.shortPaths[kUnicodeModule] = kShortModule;
    }
    test::FakePlatform fake;
    LauncherPaths paths{fake.platform()};
};

// Only one leading quote is looked behind.
TEST(IsRelativePath, OnlyDriveRootsAndUncPathsAreAbsolute) {
    // clang-format off
    const std::pair<const char*, bool> cases[] = {
        {"C:\\dir\\file.jar", false}, {"\\\\server\\x.jar", false}, {"x:\\", false},
        {"C:file", true}, {"\\dir", true}, {"/dir", true}, {"C:/dir", true}, {"C:", true},
        {"lib\\C:\\x", true}, {"\"C:\\x", false}, {"\"\\\\srv", false}, {"\"C:", true},
        {"\"C:x\\", true}, {"\"\"C:\\x", true}};
    // clang-format on
    for (const auto& [path, relative] : cases) {
        EXPECT_EQ(isRelativePath(std::string_view(path)), relative) << path;
        EXPECT_EQ(isRelativePath(std::u16string_view(widen(path))), relative) << path;
    }
}

// The narrow path is handed to the VM, so it must survive the ANSI code page.
TEST(ModulePaths, NarrowPathSurvivesTheCodePage) {
    using Paths = std::map<std::u16string, std::u16string>;
    const std::u16string ansi = u"C:\\apps\\?tool\\run.exe"; // GetModuleFileNameA's answer
    // clang-format off
    const std::tuple<std::u16string, Paths, Paths, std::string, std::u16string> cases[] = {
        {u"C:\\A~1\\run.exe", {{u"C:\\A~1\\run.exe", u"C:\\a b\\run.exe"}}, {},
         "C:\\a b\\run.exe", u"C:\\a b\\run.exe"},
        {kUnicodeModule, {}, {{kUnicodeModule, kShortModule}}, "C:\\apps\\ZTOOL~1\\run.exe",
         kUnicodeModule},
        {kUnicodeModule, {}, {{kUnicodeModule, kUnicodeModule}, {ansi, u"C:\\APPS\\RUN~2.EXE"}},
         "C:\\APPS\\RUN~2.EXE", kUnicodeModule},
        {u"\\\\srv\\\\s\\run.EXE", {}, {}, "\\\\srv\\s\\run.EXE", u"\\\\srv\\s\\run.EXE"},
        {u"C:\\apps\\run.ex", {}, {}, test::narrow(ansi), u"C:\\apps\\run.ex"},
    };
    // clang-format on
    for (const auto& [module, longPaths, shortPaths, narrow, wide] : cases) {
        SCOPED_TRACE(narrow);
        test::FakePlatform machine;
        machine.process.moduleFile = module;
        machine.process.moduleFileA = test::narrow(ansi);
        machine.files.longPaths = longPaths;
        machine.files.shortPaths = shortPaths;
        LauncherPaths where(machine.platform());
        EXPECT_EQ(where.getModulePath(), narrow);
        EXPECT_EQ(where.getModulePathW(), wide);
    }
}

TEST_F(LauncherPathsTest, LauncherDirectoryFormsAreComputedOnce) {
    fake.process.moduleFile = u"C:\\apps\\x\\..\\\u0416tool\\run.exe";
    fake.files.shortPaths[fake.process.moduleFile] = kShortModule;
    EXPECT_EQ(paths.getLauncherDirectory(), "C:\\apps\\ZTOOL~1\\");
    EXPECT_EQ(paths.getLauncherDirectoryW(true), u"C:\\apps\\ZTOOL~1\\");
    EXPECT_EQ(paths.getLauncherDirectoryW(false), u"C:\\apps\\\u0416tool\\");
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", true), u"C:\\apps\\ZTOOL~1\\a.jar");
    EXPECT_EQ(paths.getFullPathW(u"Lib", false, false), u"c:\\apps\\\u0416tool\\lib");
    fake.process.moduleFile = u"D:\\other\\run.exe";
    fake.files.currentDirectory = u"D:\\";
    EXPECT_EQ(paths.getLauncherDirectoryW(false), u"C:\\apps\\\u0416tool\\");
    EXPECT_EQ(paths.makeAbsolute("a"), "C:\\apps\\ZTOOL~1\\a");
}

TEST_F(LauncherPathsTest, RelativePathsGetTheLauncherDirectoryAndBackslashesCollapse) {
    // clang-format off
    const std::pair<const char*, const char*> absolute[] = {
        {".\\app.jar", "C:\\apps\\tool\\.\\app.jar"}, {"\\dir", "C:\\apps\\tool\\dir"},
        {"D:\\x\\\\y.jar", "D:\\x\\y.jar"}, {"\"D:\\x.jar\"", "\"D:\\x.jar\""},
        {"\"a.jar\"", "C:\\apps\\tool\\\"a.jar\""}, {"\\\\srv\\\\\\s", "\\\\srv\\s"},
        {"\\\\\\x", "\\\\x"}, {"C:\\caf\xE9\\\\x", "C:\\caf\xE9\\x"}};
    // clang-format on
    for (const auto& [path, expected] : absolute) {
        EXPECT_EQ(paths.makeAbsolute(path), expected);
        EXPECT_EQ(paths.makeAbsoluteW(widen(path), false), widen(expected));
    }
    const std::tuple<const char*, bool, const char*> full[] = {
        {"..\\lib", false, "c:\\apps\\lib"},
        {"..\\lib", true, "C:\\apps\\lib"},
        {"..\\LIB\xC9", false, "c:\\apps\\lib\xC9"},
        {"D:\\X\\.\\Y\\\\..\\Z", true, "D:\\X\\Z"}};
    for (const auto& [path, keepCase, expected] : full) {
        EXPECT_EQ(paths.getFullPath(path, keepCase), expected);
        EXPECT_EQ(paths.getFullPathW(widen(path), keepCase, false), widen(expected));
    }
    fake.files.currentDirectory = u"C:\\work";
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "C:\\cfg\\app.vmoptions"), "C:\\cfg\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "conf\\..\\app.vmoptions"), "C:\\work\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", true, u"C:\\cfg\\x.vmoptions"), u"C:\\cfg\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteList("a;;b;"), "C:\\apps\\tool\\a;C:\\apps\\tool\\b");
    EXPECT_EQ(paths.makeAbsoluteList(";D:\\x\\\\y"), "D:\\x\\y");
    EXPECT_EQ(paths.makeAbsoluteList(";;"), "");
}

TEST(FileQueries, DriveRootsNeedNoLookupAndAFinalBackslashFindsNothing) {
    const std::tuple<const char*, bool, bool> cases[] = {
        {"C:\\", true, false},   {"C:\\.", true, false},         {"C:\\.\\.", true, false},
        {"Q:\\.", true, false},  {"C:\\..", false, true},        {"C:\\.\\", false, true},
        {"C:\\dir", true, true}, {"C:\\dir\\", false, true},     {"C:\\dir\\a.jar", true, true},
        {"C:", false, true},     {"C:\\dir\\*.JAR", true, true}, {"C:\\dir\\b.jar", false, true}};
    for (const auto& [path, exists, lookedUp] : cases) {
        test::FakeFiles files;
        files.addFile("C:\\dir\\a.jar", "");
        EXPECT_EQ(fileExists(files, path), exists) << path;
        EXPECT_EQ(fileExistsW(files, widen(path)), exists) << path;
        EXPECT_EQ(files.findFirstPaths.size(), lookedUp ? 2u : 0u) << path;
    }
}

} // namespace
} // namespace kwn::files
