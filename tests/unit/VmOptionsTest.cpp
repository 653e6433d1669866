#include "windows/VmOptions.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using Files = std::vector<std::pair<std::u16string, std::string>>;

class VmOptionsTest : public test::LoggedLaunchTest {
protected:
    // The options, then the class path directives, as one line.
    std::string outcome() const {
        std::string text;
        for (const std::string& option : options)
            text += option + " ";
        for (const auto& [name, value] : {std::pair{"cp", overrides.classPath},
                                          {"p", overrides.prependClassPath},
                                          {"a", overrides.appendClassPath}})
            text += value ? std::string("/") + name + ":" + *value : "";
        return text;
    }
    // Reads the options file beside the launcher (run.vmoptions unless named), as the VM
    // arguments are built.
    std::string readDefaultFile(const Files& files) {
        options.clear();
        overrides = {};
        ctx.optionsFilesOpened = 0; // each row is a start of its own
        for (const auto& [name, text] : files)
            fake.files.addFile(
                name.find(u'\\') != std::u16string::npos ? name : u"C:\\apps\\tool\\" + name, text);
        readVmOptionsFile(ctx, openDefaultVmOptionsFile(ctx), std::nullopt, options, overrides);
        return outcome();
    }

    VmOptionList options;
    ClassPathOverrides overrides;
};

// Each meaningful line is one option, trimmed of blanks only, taken as ISO 8859-1 and expanded
// narrow-safe; directives and includes are followed.
TEST_F(VmOptionsTest, EachMeaningfulLineOfTheFileIsOneOption) {
    const std::pair<std::string, std::string> lines[] = {
        {"   -Xmx256m   \n# a comment\n\n-Dx=a #b\n", "-Xmx256m -Dx=a #b "},
        {"\t-Dtab=1 \t  \n   \n   # not an option\n", "\t-Dtab=1 \t "},
        {"-Da=1\r\n-Db=2\r\r\n\r\n\"-Dq=a b\"\n-Dlast", "-Da=1 -Db=2 \"-Dq=a b\" -Dlast "},
        {"-Dn=caf\xE9\n-Dd=%QELVO_EXEDIR%lib\n", "-Dn=caf\xE9 -Dd=C:\\apps\\tool\\lib "},
        {"-classpath/p a.jar\n-classpath b.jar\n-classpath/a x\n-classpath/a y\n",
         "/cp:b.jar/p:a.jar/a:y"},
        {"-classpath\n-include-options\n-classpathx a\n",
         "-classpath -include-options -classpathx a "},
    };
    for (const auto& [file, expected] : lines) {
        SCOPED_TRACE(file);
        EXPECT_EQ(readDefaultFile({{u"run.vmoptions", file}}), expected);
    }
    // A long line is read in pieces of the line capacity.
    std::string line = "-Dlong=" + std::string(7000 - 7, 'a');
    EXPECT_EQ(readDefaultFile({{u"run.vmoptions", line + "\n-Dnext=1\n"}}),
              line.substr(0, 5999) + " " + line.substr(5999) + " -Dnext=1 ");
}

TEST_F(VmOptionsTest, IncludesResolveAgainstTheIncludingFileAndEndQuietly) {
    Files chain = {{u"run.vmoptions", "-include-options f0.vmoptions\n"}};
    for (int i = 0; i < 40; ++i) // distinct files: only the depth bound stops the chain
        chain.push_back({test::widen("f" + std::to_string(i) + ".vmoptions"),
                         "-D" + std::to_string(i) + "\n-include-options f" + std::to_string(i + 1) +
                             ".vmoptions\n"});
    std::string depth; // the default file and 31 nested files are open at the deepest point
    for (int i = 0; i < 31; ++i)
        depth += "-D" + std::to_string(i) + " ";
    // clang-format off
    const std::pair<Files, std::string> cases[] = {
        {{{u"run.vmoptions", "-Db\n-include-options s.vmoptions\n-Da\n"},
          {u"s.vmoptions", "-Ds=1\n-classpath/p s.jar\n"}}, "-Db -Ds=1 -Da /p:s.jar"},
        {{{u"run.vmoptions", "-include-options C:\\cfg\\sub.vmoptions\n"},
          {u"C:\\cfg\\sub.vmoptions", "-include-options more.vmoptions\n"},
          {u"C:\\cfg\\more.vmoptions", "-Dmore=cfg\n"}, {u"more.vmoptions", "-Dmore=launcher\n"}},
         "-Dmore=cfg "},
        {{{u"run.vmoptions", "-include-options missing.vmoptions\n-Dafter\n"}}, "-Dafter "},
        {{{u"run.vmoptions", "-Dr\n-include-options a.vmoptions\n-include-options run.vmoptions\n"},
          {u"a.vmoptions", "-Da\n-include-options b.vmoptions\n-include-options A.vmoptions\n"},
          {u"b.vmoptions", "-Db\n-include-options a.vmoptions\n-include-options RUN.VMOPTIONS\n"}},
         "-Dr -Da -Db "},
        // Every spelling Windows opens as the open file itself is that file.
        {{{u"run.vmoptions", "-Dr\n-include-options .\\run.vmoptions\n"
                             "-include-options ..\\tool\\Run.vmoptions\n"
                             "-include-options run.vmoptions. \n-include-options sub\\..\\run.vmoptions\n"
                             "-include-options C:\\apps\\.\\tool\\RUN.VMOPTIONS..\n"
                             "-include-options C:\\cfg\\z.vmoptions\n"},
          {u"C:\\cfg\\z.vmoptions", "-Dz\n-include-options Z.VMOPTIONS\n"
                                     "-include-options ..\\APPS\\TOOL\\RUN.VMOPTIONS\n"}},
         "-Dr -Dz "},
        {chain, depth},
    };
    // clang-format on
    for (const auto& [files, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(readDefaultFile(files), expected);
    }
    EXPECT_TRUE(fake.ui.boxes.empty());
}

// However they are included, one start opens at most 64 options files: the default file counts,
// and so do the includes of configured options.
TEST_F(VmOptionsTest, OneStartOpensABoundedNumberOfFiles) {
    std::string includes;
    for (int i = 0; i < 100; ++i)
        includes += "-include-options x.vmoptions\n";
    fake.files.addFile(u"C:\\apps\\tool\\run.vmoptions", includes);
    fake.files.addFile(u"C:\\apps\\tool\\x.vmoptions", "-Dx\n");
    ctx.config.setNarrow(123, "-include-options x.vmoptions");
    addConfiguredVmOptions(ctx, options, overrides);
    readVmOptionsFile(ctx, openDefaultVmOptionsFile(ctx), std::nullopt, options, overrides);
    EXPECT_EQ(options, VmOptionList(63, "-Dx"));
}

// Beside the long form of the launcher's path, then beside the module name: first with ".exe"
// replaced, then with ".vmoptions" appended.
TEST(VmOptionsFile, FirstExistingNameBesideTheLauncherIsRead) {
    const std::u16string longDir = u"C:\\Program Files\\t\\", shortDir = u"C:\\PROGRA~1\\t\\";
    const std::tuple<std::u16string, std::u16string, std::u16string, const char*> cases[] = {
        {longDir + u"run.exe", longDir + u"run.vmoptions", longDir + u"run.exe.vmoptions", "1"},
        {longDir + u"run.exe", longDir + u"run.exe.vmoptions", longDir + u"other.vmoptions", "1"},
        {longDir + u"run.exe", longDir + u"other.vmoptions", u"C:\\x", nullptr},
        {shortDir + u"run.exe", shortDir + u"run.vmoptions", longDir + u"run.exe.vmoptions", "2"},
        {shortDir + u"run.exe", shortDir + u"run.exe.vmoptions", u"C:\\x", "1"},
    };
    for (const auto& [module, first, second, read] : cases) {
        SCOPED_TRACE(test::narrow(first));
        test::FakePlatform fake;
        fake.process.moduleFile = module;
        fake.files.longPaths[shortDir + u"run.exe"] = longDir + u"run.exe";
        fake.files.addFile(first, "-D1");
        fake.files.addFile(second, "-D2");
        launcher::LaunchContext ctx(fake.platform());
        VmOptionList options;
        ClassPathOverrides overrides;
        readVmOptionsFile(ctx, openDefaultVmOptionsFile(ctx), std::nullopt, options, overrides);
        EXPECT_EQ(options, read ? VmOptionList{std::string("-D") + read} : VmOptionList{});
    }
}

// Configured options (key 123) are split like a command line; -J arguments count only when
// key 125 allows them.
TEST_F(VmOptionsTest, ConfiguredAndCommandLineOptions) {
    fake.files.addFile("C:\\apps\\tool\\x.vmoptions", "-Dx=1\n");
    // clang-format off
    const std::tuple<std::string, std::string, std::vector<std::u16string>, std::string> cases[] = {
        {"", "", {u"run.exe", u"-J-Xmx512m"}, ""},
        {"-include-options x.vmoptions -Dy", "", {}, "-Dx=1 -Dy "},
        {"-Xmx1g \"-classpath/a x.jar\" -classpath/a y.jar", "", {}, "-Xmx1g -classpath/a y.jar /a:x.jar"},
        {"-Xss1m -include-options", "", {}, "-Xss1m -include-options "},
        {"'-Dq=a b' -Dd=${launcher:sys.launcherDirectory}", "", {}, "-Dq=a b -Dd=C:\\apps\\tool\\ "},
        {"", "0", {u"run.exe", u"-J-Xmx512m"}, ""},
        {"", "1", {u"-J-Xprog", u"a", u"-j-X", u"-Jx", u"-J-classpath/a z.jar", u"-J-\u0416"},
         "-Xprog x -? /a:z.jar"},
    };
    // clang-format on
    for (const auto& [key123, key125, arguments, expected] : cases) {
        SCOPED_TRACE(expected);
        options.clear();
        overrides = {};
        ctx.config.setNarrow(123, key123);
        if (!key125.empty())
            ctx.config.setNarrow(125, key125);
        ctx.arguments = arguments;
        addConfiguredVmOptions(ctx, options, overrides);
        addCommandLineVmOptions(ctx, options, overrides);
        EXPECT_EQ(outcome(), expected);
    }
}

} // namespace
} // namespace kwn::windows
