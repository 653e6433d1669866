#include "windows/VmOptions.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Optional;

const std::u16string kModule = u"C:\\apps\\tool\\run.exe";
const std::string kDefaultFile = "C:\\apps\\tool\\run.vmoptions";
const std::string kNullStream = "0000000000000000";

class VmOptionsTest : public test::LoggedLaunchTest {
protected:
    VmOptionsTest() : LoggedLaunchTest(kModule) {}
    // Reads the options file beside the launcher, as the VM arguments are built.
    void readDefaultFile() {
        readVmOptionsFile(ctx, openDefaultVmOptionsFile(ctx), std::nullopt, options, overrides);
    }
    void handle(const std::u16string& item) {
        handleVmOption(ctx, item, std::nullopt, options, overrides);
    }

    VmOptionList options;
    ClassPathOverrides overrides;
};

struct LinesCase {
    const char* name;
    std::string file;
    std::vector<std::string> options;
};

class VmOptionsFileLinesTest : public VmOptionsTest,
                               public testing::WithParamInterface<LinesCase> {};

TEST_P(VmOptionsFileLinesTest, EachMeaningfulLineIsOneOption) {
    fake.files.addFile(kDefaultFile, GetParam().file);
    readDefaultFile();
    EXPECT_THAT(options, ElementsAreArray(GetParam().options));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, VmOptionsFileLinesTest,
    testing::Values(
        LinesCase{"BlanksCommentsAndEmptyLines",
                  "   -Xmx256m   \n# a comment\n\n-Dx=1\n",
                  {"-Xmx256m", "-Dx=1"}},
        LinesCase{"HashInsideTheLineIsKept", "-Dx=a #b\n", {"-Dx=a #b"}},
        LinesCase{"TabsAreNotTrimmed", "\t-Dtab=1 \t  \n", {"\t-Dtab=1 \t"}},
        LinesCase{"IndentedCommentAndBlankLine", "   \n   # not an option\n", {}},
        LinesCase{"CarriageReturnsAtTheEnd", "-Da=1\r\n-Db=2\r\r\n\r\n", {"-Da=1", "-Db=2"}},
        LinesCase{"QuotesArePartOfTheOption", "\"-Dq=a b\"\n", {"\"-Dq=a b\""}},
        LinesCase{"LastLineWithoutLineFeed", "-Da=1\n-Dlast=2", {"-Da=1", "-Dlast=2"}},
        LinesCase{"BytesAreLatin1", "-Dname=caf\xE9\n", {"-Dname=caf\xE9"}},
        LinesCase{"ExpandedNarrowSafe", "-Ddir=%QELVO_EXEDIR%lib\n", {"-Ddir=C:\\apps\\tool\\lib"}},
        LinesCase{"DirectivesAddNoOption", "-classpath/p a.jar\n-classpath b.jar\n", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmOptionsTest, LongLineIsReadInPiecesOfTheLineCapacity) {
    std::string line = "-Dlong=" + std::string(7000 - 7, 'a');
    fake.files.addFile(kDefaultFile, line + "\n-Dnext=1\n");
    readDefaultFile();
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0], line.substr(0, 5999));
    EXPECT_EQ(options[1], line.substr(5999));
    EXPECT_EQ(options[2], "-Dnext=1");
}

struct ItemCase {
    const char* name;
    std::u16string item;
    std::vector<std::string> options;
    ClassPathOverrides overrides;
};

class VmOptionItemTest : public VmOptionsTest, public testing::WithParamInterface<ItemCase> {};

TEST_P(VmOptionItemTest, DirectivesNeedTheirBlank) {
    const ItemCase& c = GetParam();
    handle(c.item);
    EXPECT_THAT(options, ElementsAreArray(c.options));
    EXPECT_EQ(overrides.classPath, c.overrides.classPath);
    EXPECT_EQ(overrides.prependClassPath, c.overrides.prependClassPath);
    EXPECT_EQ(overrides.appendClassPath, c.overrides.appendClassPath);
}

INSTANTIATE_TEST_SUITE_P(
    Items, VmOptionItemTest,
    testing::Values(
        ItemCase{"ClassPath", u"-classpath a.jar;b.jar", {}, {"a.jar;b.jar", {}, {}}},
        ItemCase{"Prepend", u"-classpath/p  p.jar ", {}, {{}, {}, " p.jar "}},
        ItemCase{"Append", u"-classpath/a x.jar", {}, {{}, "x.jar", {}}},
        ItemCase{"BareClassPathIsAnOption", u"-classpath", {"-classpath"}, {}},
        ItemCase{"BareIncludeIsAnOption", u"-include-options", {"-include-options"}, {}},
        ItemCase{"OtherPrefixIsAnOption", u"-classpathx a", {"-classpathx a"}, {}},
        ItemCase{"UnmappableBecomesDefault", u"-Dn=\u0416x", {"-Dn=?x"}, {}},
        ItemCase{"UnmappableInDirective", u"-classpath/a \u0416.jar", {}, {{}, "?.jar", {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmOptionsTest, LaterDirectiveReplacesTheEarlierOne) {
    fake.files.addFile(kDefaultFile, "-classpath/a a.jar\n-classpath/a b.jar\n");
    readDefaultFile();
    EXPECT_THAT(overrides.appendClassPath, Optional(std::string("b.jar")));
    EXPECT_THAT(options, IsEmpty());
}

struct DefaultFileCase {
    const char* name;
    std::u16string moduleFile;
    std::vector<std::string> existing; // each holds "-Dfrom=<its path>"
    std::optional<std::string> read;
};

class DefaultOptionsFileTest : public VmOptionsTest,
                               public testing::WithParamInterface<DefaultFileCase> {};

TEST_P(DefaultOptionsFileTest, FirstExistingNameIsRead) {
    const DefaultFileCase& c = GetParam();
    fake.process.moduleFile = c.moduleFile;
    fake.files.longPaths[u"C:\\PROGRA~1\\tool\\run.exe"] = u"C:\\Program Files\\tool\\run.exe";
    for (const std::string& path : c.existing)
        fake.files.addFile(path, "-Dfrom=" + path + "\n");
    OpenedOptionsFile file = openDefaultVmOptionsFile(ctx);
    EXPECT_EQ(file.stream != nullptr, c.read.has_value());
    readVmOptionsFile(ctx, std::move(file), std::nullopt, options, overrides);
    if (c.read)
        EXPECT_THAT(options, ElementsAre("-Dfrom=" + *c.read));
    else
        EXPECT_THAT(options, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, DefaultOptionsFileTest,
    testing::Values(DefaultFileCase{"ExtensionReplacedFirst",
                                    kModule,
                                    {kDefaultFile, "C:\\apps\\tool\\run.exe.vmoptions"},
                                    kDefaultFile},
                    DefaultFileCase{"ExtensionAppendedSecond",
                                    kModule,
                                    {"C:\\apps\\tool\\run.exe.vmoptions"},
                                    "C:\\apps\\tool\\run.exe.vmoptions"},
                    DefaultFileCase{"LongPathBeforeModuleName",
                                    u"C:\\PROGRA~1\\tool\\run.exe",
                                    {"C:\\PROGRA~1\\tool\\run.vmoptions",
                                     "C:\\Program Files\\tool\\run.exe.vmoptions"},
                                    "C:\\Program Files\\tool\\run.exe.vmoptions"},
                    DefaultFileCase{"ModuleNameWhenTheLongPathHasNone",
                                    u"C:\\PROGRA~1\\tool\\run.exe",
                                    {"C:\\PROGRA~1\\tool\\run.exe.vmoptions"},
                                    "C:\\PROGRA~1\\tool\\run.exe.vmoptions"},
                    DefaultFileCase{
                        "NoFile", kModule, {"C:\\apps\\tool\\other.vmoptions"}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmOptionsTest, EveryTriedNameIsLogged) {
    fake.process.moduleFile = u"C:\\PROGRA~1\\tool\\run.exe";
    fake.files.longPaths[u"C:\\PROGRA~1\\tool\\run.exe"] = u"C:\\Program Files\\tool\\run.exe";
    EXPECT_EQ(openDefaultVmOptionsFile(ctx).stream, nullptr);
    const std::string expected =
        "vmoptions2: exe C:\\Program Files\\tool\\run.exe file: C:\\Program "
        "Files\\tool\\run.vmoptions, file: " +
        kNullStream +
        "\nvmoptions: opts2: C:\\Program Files\\tool\\run.exe.vmoptions, file: " + kNullStream +
        "\nvmoptions2: exe C:\\PROGRA~1\\tool\\run.exe file: " +
        "C:\\PROGRA~1\\tool\\run.vmoptions, file: " + kNullStream +
        "\nvmoptions: opts2: C:\\PROGRA~1\\tool\\run.exe.vmoptions, file: " + kNullStream + "\n";
    EXPECT_THAT(logText(), HasSubstr(expected));
}

TEST_F(VmOptionsTest, IncludeInTheDefaultFileResolvesAgainstTheLauncherDirectory) {
    fake.files.addFile(kDefaultFile, "-Dbefore\n-include-options sub.vmoptions\n-Dafter\n");
    fake.files.addFile("C:\\apps\\tool\\sub.vmoptions", "-Dsub=1\n-classpath/p s.jar\n");
    readDefaultFile();
    EXPECT_THAT(options, ElementsAre("-Dbefore", "-Dsub=1", "-Dafter"));
    EXPECT_THAT(overrides.prependClassPath, Optional(std::string("s.jar")));
    // Expanding the included lines may log in between; the order of the lines is what counts.
    std::string log = logText();
    std::size_t expanded = log.find("\nafter exp from sub.vmoptions sub.vmoptions\n");
    std::size_t opened = log.find(") <C:\\apps\\tool\\sub.vmoptions> (sub.vmoptions)\n");
    std::size_t second = log.find("\nadding vmoptions 2\nadding vmoptions 3\n");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(expanded, opened);
    EXPECT_LT(opened, second);
}

TEST_F(VmOptionsTest, NestedIncludeResolvesAgainstTheIncludingFile) {
    fake.files.addFile(kDefaultFile, "-include-options C:\\cfg\\sub.vmoptions\n");
    fake.files.addFile("C:\\cfg\\sub.vmoptions", "-include-options more.vmoptions\n");
    fake.files.addFile("C:\\cfg\\more.vmoptions", "-Dmore=cfg\n");
    fake.files.addFile("C:\\apps\\tool\\more.vmoptions", "-Dmore=launcher\n");
    readDefaultFile();
    EXPECT_THAT(options, ElementsAre("-Dmore=cfg"));
    EXPECT_THAT(logText(), HasSubstr(") <C:\\cfg\\more.vmoptions> (more.vmoptions)\n"));
}

TEST_F(VmOptionsTest, IncludeResolvesAgainstTheUnicodeDirectory) {
    const std::u16string unicodeModule = u"C:\\apps\\\u0416tool\\run.exe";
    fake.process.moduleFile = unicodeModule;
    fake.files.shortPaths[unicodeModule] = u"C:\\apps\\ZTOOL~1\\run.exe";
    fake.files.addFile(u"C:\\apps\\\u0416tool\\run.vmoptions",
                       "-include-options ${launcher:sys.launcherDirectory}\\sub.vmoptions\n"
                       "-include-options sub.vmoptions\n");
    fake.files.addFile(u"C:\\apps\\\u0416tool\\sub.vmoptions", "-Ddir=%QELVO_EXEDIR%\n");
    fake.files.addFile("C:\\apps\\ZTOOL~1\\sub.vmoptions", "-Dvia=short\n");
    readDefaultFile();
    // The line was expanded narrow-safe before the directive was seen, so the first include
    // names the short directory; a plain relative include finds the Unicode one.
    EXPECT_THAT(options, ElementsAre("-Dvia=short", "-Ddir=C:\\apps\\ZTOOL~1\\"));
    EXPECT_THAT(logText(), HasSubstr(") <C:\\apps\\ZTOOL~1\\sub.vmoptions> ("));
}

TEST_F(VmOptionsTest, MissingIncludeIsSkippedQuietly) {
    fake.files.addFile(kDefaultFile, "-include-options missing.vmoptions\n-Dafter\n");
    readDefaultFile();
    EXPECT_THAT(options, ElementsAre("-Dafter"));
    EXPECT_THAT(logText(), HasSubstr("adding vmoptions from (" + kNullStream +
                                     ") <C:\\apps\\tool\\missing.vmoptions> (missing.vmoptions)\n"
                                     "adding vmoptions 2\nadding vmoptions 3\n"));
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
}

TEST_F(VmOptionsTest, IncludeCyclesEndQuietly) {
    fake.files.addFile(kDefaultFile, "-Droot\n-include-options a.vmoptions\n"
                                     "-include-options run.vmoptions\n-Droot-end\n");
    fake.files.addFile("C:\\apps\\tool\\a.vmoptions", "-Da\n-include-options b.vmoptions\n");
    fake.files.addFile("C:\\apps\\tool\\b.vmoptions", "-Db\n-include-options a.vmoptions\n"
                                                      "-include-options RUN.VMOPTIONS\n-Db-end\n");
    readDefaultFile();
    EXPECT_THAT(options, ElementsAre("-Droot", "-Da", "-Db", "-Db-end", "-Droot-end"));
}

TEST_F(VmOptionsTest, IncludeDepthIsBounded) {
    // Distinct files, so that only the depth bound stops the chain.
    fake.files.addFile(kDefaultFile, "-include-options f0.vmoptions\n");
    for (int i = 0; i < 40; ++i)
        fake.files.addFile("C:\\apps\\tool\\f" + std::to_string(i) + ".vmoptions",
                           "-D" + std::to_string(i) + "\n-include-options f" +
                               std::to_string(i + 1) + ".vmoptions\n");
    readDefaultFile();
    // The default file and 31 nested files are open at the deepest point.
    ASSERT_EQ(options.size(), 31u);
    EXPECT_EQ(options.back(), "-D30");
}

struct ConfiguredCase {
    const char* name;
    std::string key123;
    std::vector<std::string> options;
    std::optional<std::string> appended = std::nullopt;
};

class ConfiguredVmOptionsTest : public VmOptionsTest,
                                public testing::WithParamInterface<ConfiguredCase> {};

TEST_P(ConfiguredVmOptionsTest, SplitLikeACommandLine) {
    const ConfiguredCase& c = GetParam();
    fake.files.addFile("C:\\apps\\tool\\x.vmoptions", "-Dx=1\n");
    ctx.config.setNarrow(123, c.key123);
    addConfiguredVmOptions(ctx, options, overrides);
    EXPECT_THAT(options, ElementsAreArray(c.options));
    EXPECT_EQ(overrides.appendClassPath, c.appended);
    EXPECT_THAT(logText(), HasSubstr("adding options\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Key123, ConfiguredVmOptionsTest,
    testing::Values(
        ConfiguredCase{
            "IncludeJoinedWithItsFile", "-include-options x.vmoptions -Dy", {"-Dx=1", "-Dy"}},
        ConfiguredCase{"QuotedDirective", "-Xmx1g \"-classpath/a x.jar\"", {"-Xmx1g"}, "x.jar"},
        ConfiguredCase{
            "UnquotedDirectiveIsTwoOptions", "-classpath/a x.jar", {"-classpath/a", "x.jar"}},
        ConfiguredCase{
            "IncludeAtTheEndIsAnOption", "-Xss1m -include-options", {"-Xss1m", "-include-options"}},
        ConfiguredCase{"SingleQuotesGroup", "'-Dq=a b' -Dr", {"-Dq=a b", "-Dr"}},
        ConfiguredCase{"ExpandedNarrowSafe",
                       "-Dd=${launcher:sys.launcherDirectory}",
                       {"-Dd=C:\\apps\\tool\\"}},
        ConfiguredCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CommandLineCase {
    const char* name;
    std::optional<std::string> key125;
    std::vector<std::u16string> arguments;
    std::vector<std::string> options;
    std::optional<std::string> appended = std::nullopt;
};

class CommandLineVmOptionsTest : public VmOptionsTest,
                                 public testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineVmOptionsTest, JArgumentsWhenAllowed) {
    const CommandLineCase& c = GetParam();
    if (c.key125)
        ctx.config.setNarrow(125, *c.key125);
    ctx.arguments = c.arguments;
    addCommandLineVmOptions(ctx, options, overrides);
    EXPECT_THAT(options, ElementsAreArray(c.options));
    EXPECT_EQ(overrides.appendClassPath, c.appended);
}

INSTANTIATE_TEST_SUITE_P(
    Key125, CommandLineVmOptionsTest,
    testing::Values(CommandLineCase{"Zero", "0", {u"run.exe", u"-J-Xmx512m"}, {}},
                    CommandLineCase{"Absent", std::nullopt, {u"run.exe", u"-J-Xmx512m"}, {}},
                    CommandLineCase{"InOrderProgramPathIncluded",
                                    "1",
                                    {u"-J-Xprog", u"a", u"-J-Xmx512m", u"-j-Xlower", u"-Jx"},
                                    {"-Xprog", "-Xmx512m", "x"}},
                    CommandLineCase{
                        "Directive", "1", {u"run.exe", u"-J-classpath/a x.jar"}, {}, "x.jar"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kwn::windows
