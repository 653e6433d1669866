#include "files/LauncherPaths.h"
#include "files/FileQueries.h"

#include "fake/FakePlatform.h"

#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using test::widen;

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

// The narrow path is handed to the VM, so it must survive the ANSI code page: the long form,
// else the 8.3 form, else what Windows gives for the narrow module name.
TEST(LauncherPaths, NarrowModulePathSurvivesTheCodePage) {
    using Paths = std::map<std::u16string, std::u16string>;
    const std::u16string unicode = u"C:\\apps\\\u0416tool\\run.exe",
                         ansi = u"C:\\apps\\?tool\\run.exe";
    // clang-format off
    const std::tuple<std::u16string, Paths, Paths, std::string, std::u16string> cases[] = {
        {u"C:\\A~1\\run.exe", {{u"C:\\A~1\\run.exe", u"C:\\a b\\run.exe"}}, {}, "C:\\a b\\run.exe", u"C:\\a b\\run.exe"},
        {unicode, {}, {{unicode, u"C:\\apps\\ZTOOL~1\\run.exe"}}, "C:\\apps\\ZTOOL~1\\run.exe", unicode},
        {unicode, {}, {{unicode, unicode}, {ansi, u"C:\\APPS\\RUN~2.EXE"}}, "C:\\APPS\\RUN~2.EXE", unicode},
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

// Computed once: a later change of the module or the current directory does not move them.
TEST(LauncherPaths, LauncherDirectoryFormsAreComputedOnce) {
    test::FakePlatform fake;
    fake.process.moduleFile = u"C:\\apps\\x\\..\\\u0416tool\\run.exe";
    fake.files.shortPaths[fake.process.moduleFile] = u"C:\\apps\\ZTOOL~1\\run.exe";
    LauncherPaths paths(fake.platform());
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

TEST(LauncherPaths, RelativePathsGetTheLauncherDirectoryAndBackslashesCollapse) {
    test::FakePlatform fake;
    fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    LauncherPaths paths(fake.platform());
    // clang-format off
    const std::pair<const char*, const char*> absolute[] = {
        {".\\app.jar", "C:\\apps\\tool\\.\\app.jar"}, {"\\dir", "C:\\apps\\tool\\dir"},
        {"D:\\x\\\\y.jar", "D:\\x\\y.jar"}, {"\"D:\\x.jar\"", "\"D:\\x.jar\""},
        {"\"a.jar\"", "C:\\apps\\tool\\\"a.jar\""}, {"\\\\srv\\\\\\s", "\\\\srv\\s"},
        {"\\\\\\x", "\\\\x"}, {"C:\\caf\xE9\\\\x", "C:\\caf\xE9\\x"}};
    const std::tuple<const char*, bool, const char*> full[] = { // path, keep case, full
        {"..\\lib", false, "c:\\apps\\lib"}, {"..\\lib", true, "C:\\apps\\lib"},
        {"..\\LIB\xC9", false, "c:\\apps\\lib\xC9"}, {"D:\\X\\.\\Y\\\\..\\Z", true, "D:\\X\\Z"}};
    // clang-format on
    for (const auto& [path, expected] : absolute) {
        EXPECT_EQ(paths.makeAbsolute(path), expected);
        EXPECT_EQ(paths.makeAbsoluteW(widen(path), false), widen(expected));
    }
    for (const auto& [path, keepCase, expected] : full) {
        EXPECT_EQ(paths.getFullPath(path, keepCase), expected);
        EXPECT_EQ(paths.getFullPathW(widen(path), keepCase, false), widen(expected));
    }
    // Against the directory of a base file, itself taken against the current directory.
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "C:\\cfg\\app.vmoptions"), "C:\\cfg\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsolute("lib\\a.jar", "conf\\..\\app.vmoptions"), "C:\\work\\lib\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteW(u"a.jar", true, u"C:\\cfg\\x.vmoptions"), u"C:\\cfg\\a.jar");
    EXPECT_EQ(paths.makeAbsoluteList("a;;b;"), "C:\\apps\\tool\\a;C:\\apps\\tool\\b");
    EXPECT_EQ(paths.makeAbsoluteList(";D:\\x\\\\y"), "D:\\x\\y");
    EXPECT_EQ(paths.makeAbsoluteList(";;"), "");
}

TEST(FileQueries, DriveRootsNeedNoLookupAndAFinalBackslashFindsNothing) {
    // clang-format off
    const std::tuple<const char*, bool, bool> cases[] = { // path, exists, looked up
        {"C:\\", true, false},   {"C:\\.", true, false},         {"C:\\.\\.", true, false},
        {"Q:\\.", true, false},  {"C:\\..", false, true},        {"C:\\.\\", false, true},
        {"C:\\dir", true, true}, {"C:\\dir\\", false, true},     {"C:\\dir\\a.jar", true, true},
        {"C:", false, true},     {"C:\\dir\\*.JAR", true, true}, {"C:\\dir\\b.jar", false, true}};
    // clang-format on
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
