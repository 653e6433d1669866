#include "windows/VmOptions.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

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
    const std::string line = "-Dlong=" + std::string(7000 - 7, 'a'); // read in pieces of 5999
    // clang-format off
    const std::pair<std::string, std::string> lines[] = {
        {"   -Xmx256m   \n# a comment\n\n-Dx=a #b\n", "-Xmx256m -Dx=a #b "}, {"\t-Dtab=1 \t  \n   \n   # not an option\n", "\t-Dtab=1 \t "},
        {"-Da=1\r\n-Db=2\r\r\n\r\n\"-Dq=a b\"\n-Dlast", "-Da=1 -Db=2 \"-Dq=a b\" -Dlast "},
        {"-Dn=caf\xE9\n-Dd=%QELVO_EXEDIR%lib\n", "-Dn=caf\xE9 -Dd=C:\\apps\\tool\\lib "},
        {"-classpath/p a.jar\n-classpath b.jar\n-classpath/a x\n-classpath/a y\n", "/cp:b.jar/p:a.jar/a:y"},
        {line + "\n-Dnext=1\n", line.substr(0, 5999) + " " + line.substr(5999) + " -Dnext=1 "}};
    // clang-format on
    for (const auto& [file, expected] : lines)
        EXPECT_EQ(readDefaultFile({{u"run.vmoptions", file}}), expected);
}

TEST_F(VmOptionsTest, IncludesResolveAgainstTheIncludingFileAndEndQuietly) {
    Files chain = {{u"run.vmoptions", "-include-options f0.vmoptions\n"}};
    for (int i = 0; i < 40; ++i) // distinct files: only the depth bound stops the chain
        chain.push_back({test::widen("f" + std::to_string(i) + ".vmoptions"),
                         "-D" + std::to_string(i) + "\n-include-options f" + std::to_string(i + 1) +
                             ".vmoptions\n"});
    // The chain ends where 32 files are open, the default one and 31 nested. However they are
    // included, one start opens at most 64 options files, the default one too.
    std::string depth, includes, bounded;
    for (int i = 0; i < 100; ++i) {
        depth += i < 31 ? "-D" + std::to_string(i) + " " : "";
        includes += "-include-options x.vmoptions\n";
        bounded += i < 63 ? "-Dx " : "";
    }
    // clang-format off
    const std::pair<Files, std::string> cases[] = {
        {{{u"run.vmoptions", "-Db\n-include-options s.vmoptions\n-Da\n"},
          {u"s.vmoptions", "-Ds=1\n-classpath/p s.jar\n"}}, "-Db -Ds=1 -Da /p:s.jar"},
        {{{u"run.vmoptions", "-include-options missing.vmoptions\n-Dafter\n"}}, "-Dafter "},
        // A file already open is not opened again, however the include spells its name.
        {{{u"run.vmoptions", "-Dr\n-include-options a.vmoptions\n-include-options run.vmoptions\n"},
          {u"a.vmoptions", "-Da\n-include-options z.vmoptions\n-include-options A.vmoptions\n"},
          {u"z.vmoptions", "-Dz\n-include-options a.vmoptions\n-include-options Z.VMOPTIONS\n"
                           "-include-options ..\\tool\\RUN.VMOPTIONS\n"}},
         "-Dr -Da -Dz "},
        {chain, depth},
        {{{u"run.vmoptions", includes}, {u"x.vmoptions", "-Dx\n"}}, bounded},
    };
    // clang-format on
    for (const auto& [files, expected] : cases)
        EXPECT_EQ(readDefaultFile(files), expected);
}

// Beside the long form of the launcher's path, then beside the module name: first with ".exe"
// replaced, then with ".vmoptions" appended.
TEST(VmOptionsFile, FirstExistingNameBesideTheLauncherIsRead) {
    // The launcher's directory in its long (l) and its short (s) form.
    const std::u16string l = u"C:\\Program Files\\t\\", s = u"C:\\PROGRA~1\\t\\";
    // clang-format off
    const std::tuple<std::u16string, std::u16string, std::u16string, const char*> cases[] = {
        {l + u"run.exe", l + u"run.vmoptions", l + u"run.exe.vmoptions", "1"},
        {l + u"run.exe", l + u"run.exe.vmoptions", l + u"other.vmoptions", "1"}, {l + u"run.exe", l + u"other.vmoptions", u"C:\\x", nullptr},
        {s + u"run.exe", s + u"run.vmoptions", l + u"run.exe.vmoptions", "2"}, {s + u"run.exe", s + u"run.exe.vmoptions", u"C:\\x", "1"}};
    // clang-format on
    for (const auto& [module, first, second, read] : cases) {
        test::LoggedLaunch run(module);
        run.fake.files.longPaths[s + u"run.exe"] = l + u"run.exe";
        run.fake.files.addFile(first, "-D1");
        run.fake.files.addFile(second, "-D2");
        VmOptionList options;
        ClassPathOverrides overrides;
        readVmOptionsFile(run.ctx, openDefaultVmOptionsFile(run.ctx), std::nullopt, options,
                          overrides);
        EXPECT_EQ(options, read ? VmOptionList{std::string("-D") + read} : VmOptionList{})
            << test::narrow(first);
    }
}

// Configured options (key 123) are split like a command line; -J arguments count only when
// key 125 allows them.
TEST_F(VmOptionsTest, ConfiguredAndCommandLineOptions) {
    fake.files.addFile("C:\\apps\\tool\\x.vmoptions", "-Dx=1\n");
    // clang-format off
    const std::tuple<std::string, std::string, std::vector<std::u16string>, std::string> cases[] = {
        {"-include-options x.vmoptions -Dy", "", {}, "-Dx=1 -Dy "},
        {"-Xmx1g \"-classpath/a x.jar\" -classpath/a y.jar", "", {}, "-Xmx1g -classpath/a y.jar /a:x.jar"},
        {"-Xss1m -include-options", "", {}, "-Xss1m -include-options "},
        {"'-Dq=a b' -Dd=${launcher:sys.launcherDirectory}", "", {}, "-Dq=a b -Dd=C:\\apps\\tool\\ "},
        {"", "1", {u"-J-Xprog", u"a", u"-j-X", u"-Jx", u"-J-classpath/a z.jar", u"-J-\u0416"},
         "-Xprog x -? /a:z.jar"},
    };
    // clang-format on
    for (const auto& [key123, key125, arguments, expected] : cases) {
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
