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

// The narrow-safe directory is the 8.3 form of a directory the code page cannot carry.
TEST(LauncherPaths, NarrowSafeDirectoryIsTheShortForm) {
    test::FakePlatform fake;
    fake.process.moduleFile = u"C:\\apps\\x\\..\\\u0416tool\\run.exe";
    fake.files.shortPaths[fake.process.moduleFile] = u"C:\\apps\\ZTOOL~1\\run.exe";
    EXPECT_EQ(LauncherPaths(fake.platform()).makeAbsoluteW(u"a.jar", true),
              u"C:\\apps\\ZTOOL~1\\a.jar");
}

TEST(LauncherPaths, RelativePathsGetTheLauncherDirectoryAndBackslashesCollapse) {
    test::FakePlatform fake;
    fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    LauncherPaths paths(fake.platform());
    // clang-format off
    const std::tuple<const char*, bool, const char*> full[] = { // path, keep case, full
        {"..\\lib", false, "c:\\apps\\lib"}, {"..\\lib", true, "C:\\apps\\lib"},
        {"..\\LIB\xC9", false, "c:\\apps\\lib\xC9"}, {"D:\\X\\.\\Y\\\\..\\Z", true, "D:\\X\\Z"}};
    // clang-format on
    for (const auto& [path, keepCase, expected] : full) {
        EXPECT_EQ(paths.getFullPath(path, keepCase), expected);
    }
    EXPECT_EQ(paths.makeAbsoluteList("a;;b;"), "C:\\apps\\tool\\a;C:\\apps\\tool\\b");
}

TEST(FileQueries, DriveRootsExistAndAFinalBackslashFindsNothing) {
    // clang-format off
    const std::pair<const char*, bool> cases[] = { // path, exists
        {"C:\\", true}, {"C:\\.", true}, {"C:\\.\\.", true}, {"Q:\\.", true}, {"C:\\..", false},
        {"C:\\.\\", false}, {"C:\\dir", true}, {"C:\\dir\\", false}, {"C:\\dir\\a.jar", true},
        {"C:", false}, {"C", false}, {"C:\\dir\\*.JAR", true}, {"C:\\dir\\b.jar", false}};
    // clang-format on
    for (const auto& [path, exists] : cases) {
        test::FakeFiles files;
        files.addFile("C:\\dir\\a.jar", "");
        EXPECT_EQ(fileExists(files, path), exists) << path;
    }
}

} // namespace
} // namespace kwn::files
