#include "windows/VmArguments.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using test::widen;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

const std::string kModule = "C:\\apps\\tool\\run.exe";

class VmArgumentsTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = widen(kModule);
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.environment.variables["PATH"] = "C:\\native;C:\\Windows;C:\\jre\\bin\\client";
        fake.files.addDirectory("C:\\Logs");
        ctx.log.setForced(true);
    }
    std::string logText() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

TEST_F(VmArgumentsTest, EverySourceInItsPlace) {
    ctx.semaphoreName = "kwn_sem_3";
    ctx.flavour = 'i';
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.unextractedPosition = 123456;
    ctx.locale = config::Locale("de_CH");
    fake.console.consoleCodePage = 437;
    fake.files.addFile("C:\\T\\kwn.tmp\\a.jar", "");
    ctx.config.setNarrow(10003, "C:\\inst");
    ctx.config.setNarrow(121, "A0app.jar");
    ctx.config.setNarrow(123, "-Xmx1g \"-classpath/p pre.jar\"");
    ctx.config.setNarrow(125, "1");
    ctx.arguments = {u"run.exe", u"-J-Xss2m", u"-Dsun.locale.formatasdefault=false", u"doc.txt"};
    fake.files.addFile("C:\\apps\\tool\\run.vmoptions", "-Dfile=1\n-classpath/a post.jar\n");
    VmOptionList options = buildVmArguments(ctx);
    const std::vector<std::string> expected = {
        "-Dqelvo.semaphoreName=kwn_sem_3",
        "-Dqelvo.isKestrowan=true",
        "-Dqelvo.moduleName=" + kModule,
        "-Dsun.java.command=" + kModule,
        "-Dqelvo.tempDir=C:\\T\\kwn.tmp",
        "-Dqelvo.unextractedPosition=123456",
        "-Djava.library.path=C:\\native;C:\\Windows;C:\\jre\\bin\\client",
        "-Dqelvo.consoleCodepage=cp437",
        "-Xmx1g",
        "-Xss2m",
        "-Dsun.locale.formatasdefault=false",
        "-Duser.language=de",
        "-Duser.country=CH",
        "-Dfile=1",
        "-Djava.class.path=pre.jar;C:\\T\\kwn.tmp\\a.jar;C:\\inst\\.kestrowan\\kwnruntime.jar;"
        "C:\\apps\\tool\\app.jar;post.jar"};
    EXPECT_THAT(options, ElementsAreArray(expected));
    std::string listing = "vmoption count 15\n";
    for (std::size_t i = 0; i < expected.size(); ++i)
        listing += "vmoption " + std::to_string(i) + ": " + expected[i] + "\n";
    EXPECT_THAT(logText(), HasSubstr(listing));
    EXPECT_THAT(logText(), HasSubstr("\ndefault vmoptions file: "));
}

TEST_F(VmArgumentsTest, OnlyTheUnconditionalRows) {
    fake.environment.variables.erase("PATH");
    fake.environment.runtimeVariables["MANPATH"] = "";
    ctx.flavour = 'q';
    ctx.arguments = {u"run.exe", u"-J-Xss2m"};
    EXPECT_THAT(buildVmArguments(ctx),
                ElementsAre("-Dqelvo.moduleName=" + kModule, "-Dsun.java.command=" + kModule,
                            "-Dqelvo.tempDir=", "-Dqelvo.unextractedPosition=0",
                            "-Djava.library.path=", "-Djava.class.path="));
}

struct PropertyCase {
    const char* name;
    std::function<void(launcher::LaunchContext&, test::FakePlatform&)> setUp;
    std::string expected; // one row of the system properties
    bool present = true;
};

class SystemPropertyTest : public VmArgumentsTest,
                           public testing::WithParamInterface<PropertyCase> {};

TEST_P(SystemPropertyTest, RowFollowsItsCondition) {
    GetParam().setUp(ctx, fake);
    VmOptionList options = buildSystemProperties(ctx);
    bool found = std::find(options.begin(), options.end(), GetParam().expected) != options.end();
    EXPECT_EQ(found, GetParam().present) << testing::PrintToString(options);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SystemPropertyTest,
    testing::Values(
        PropertyCase{"LanguageRestartHidesThePosition",
                     [](auto& ctx, auto&) {
                         ctx.unextractedPosition = 5000;
                         ctx.languageRestart = true;
                     },
                     "-Dqelvo.unextractedPosition=-1"},
        PropertyCase{"PositionBeyondFourGigabytes",
                     [](auto& ctx, auto&) { ctx.unextractedPosition = 5000000000; },
                     "-Dqelvo.unextractedPosition=5000000000"},
        PropertyCase{"CodePageWithoutManpath",
                     [](auto&, auto& fake) { fake.console.consoleCodePage = 850; },
                     "-Dqelvo.consoleCodepage=cp850"},
        PropertyCase{"ManpathOfTheRuntimeDropsTheCodePage",
                     [](auto&, auto& fake) { fake.environment.runtimeVariables["MANPATH"] = "x"; },
                     "-Dqelvo.consoleCodepage=cp850", false},
        PropertyCase{"NoSemaphoreNoProperty", [](auto&, auto&) {}, "-Dqelvo.semaphoreName=", false},
        PropertyCase{"FirstFlavourIsNotKestrowan", [](auto& ctx, auto&) { ctx.flavour = 'q'; },
                     "-Dqelvo.isKestrowan=true", false},
        PropertyCase{"NarrowSafeModulePath",
                     [](auto&, auto& fake) {
                         fake.process.moduleFile = u"C:\\apps\\\u0416\\run.exe";
                         fake.files.shortPaths[u"C:\\apps\\\u0416\\run.exe"] =
                             u"C:\\apps\\ZZ~1\\run.exe";
                     },
                     "-Dsun.java.command=C:\\apps\\ZZ~1\\run.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LocaleCase {
    const char* name;
    std::vector<std::u16string> arguments;
    std::string locale;
    std::vector<std::string> options;
};

class LocaleOptionsTest : public VmArgumentsTest, public testing::WithParamInterface<LocaleCase> {};

TEST_P(LocaleOptionsTest, LastFormatArgumentDecides) {
    const LocaleCase& c = GetParam();
    ctx.arguments = c.arguments;
    ctx.locale = config::Locale(c.locale);
    VmOptionList options;
    ClassPathOverrides overrides;
    addLocaleOptions(ctx, options, overrides);
    EXPECT_THAT(options, ElementsAreArray(c.options));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, LocaleOptionsTest,
    testing::Values(LocaleCase{"FalseThenTrue",
                               {u"run.exe", u"-Dsun.locale.formatasdefault=false",
                                u"-Dsun.locale.formatasdefault=true"},
                               "de_CH",
                               {"-Dsun.locale.formatasdefault=true"}},
                    LocaleCase{"TrueThenFalse",
                               {u"run.exe", u"-Dsun.locale.formatasdefault=true",
                                u"-Dsun.locale.formatasdefault=false"},
                               "de_CH",
                               {"-Dsun.locale.formatasdefault=false", "-Duser.language=de",
                                "-Duser.country=CH"}},
                    LocaleCase{"WithoutCountry",
                               {u"run.exe", u"-Dsun.locale.formatasdefault=no"},
                               "fr",
                               {"-Dsun.locale.formatasdefault=no", "-Duser.language=fr"}},
                    LocaleCase{
                        "NotGiven", {u"run.exe", u"-Dsun.locale.formatasdefault"}, "de_CH", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmArgumentsTest, HundredKilobyteTextsPassIntact) {
    std::string big(100 * 1024, 'x');
    fake.environment.variables["PATH"] = "C:\\" + big;
    ctx.config.setNarrow(125, "1");
    ctx.arguments = {u"run.exe", widen("-J-Dbig=" + big), widen("-J-classpath C:\\" + big)};
    VmOptionList options = buildVmArguments(ctx);
    EXPECT_THAT(options, testing::Contains("-Djava.library.path=C:\\" + big));
    EXPECT_THAT(options, testing::Contains("-Dbig=" + big));
    EXPECT_EQ(options.back(), "-Djava.class.path=C:\\" + big);
}

} // namespace
} // namespace kwn::windows
