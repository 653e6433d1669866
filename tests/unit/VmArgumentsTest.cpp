#include "windows/VmArguments.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using testing::ElementsAreArray;
using testing::HasSubstr;

const std::string kModule = "C:\\apps\\tool\\run.exe";

class VmArgumentsTest : public test::LoggedLaunchTest {};

TEST_F(VmArgumentsTest, EverySourceInItsPlaceAndLogged) {
    ctx.semaphoreName = "kwn_sem_3";
    ctx.flavour = 'i';
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.unextractedPosition = 123456;
    ctx.locale = config::Locale("de_CH");
    fake.console.consoleCodePage = 437;
    fake.environment.variables["PATH"] = "C:\\native;C:\\jre\\bin";
    fake.files.addFile("C:\\T\\kwn.tmp\\a.jar", "");
    ctx.config.setNarrow(10003, "C:\\inst");
    ctx.config.setNarrow(121, "A0app.jar");
    ctx.config.setNarrow(123, "-Xmx1g \"-classpath/p pre.jar\"");
    ctx.config.setNarrow(125, "1");
    ctx.arguments = {u"run.exe", u"-J-Xss2m", u"-Dsun.locale.formatasdefault=false", u"doc.txt"};
    fake.files.addFile("C:\\apps\\tool\\run.vmoptions", "-Dfile=1\n-classpath/a post.jar\n");
    EXPECT_THAT(buildVmArguments(ctx),
                ElementsAreArray<std::string>(
                    {"-Dqelvo.semaphoreName=kwn_sem_3", "-Dqelvo.isKestrowan=true",
                     "-Dqelvo.moduleName=" + kModule, "-Dsun.java.command=" + kModule,
                     "-Dqelvo.tempDir=C:\\T\\kwn.tmp", "-Dqelvo.unextractedPosition=123456",
                     "-Djava.library.path=C:\\native;C:\\jre\\bin", "-Dqelvo.consoleCodepage=cp437",
                     "-Xmx1g", "-Xss2m", "-Dsun.locale.formatasdefault=false", "-Duser.language=de",
                     "-Duser.country=CH", "-Dfile=1",
                     "-Djava.class.path=pre.jar;C:\\T\\kwn.tmp\\a.jar;"
                     "C:\\inst\\.kestrowan\\kwnruntime.jar;C:\\apps\\tool\\app.jar;post.jar"}));
    EXPECT_THAT(logText(), HasSubstr("\nvmoption count 15\nvmoption 0: -Dqelvo.semaphoreName="));
    EXPECT_THAT(logText(), HasSubstr("\nvmoption 14: -Djava.class.path=pre.jar;"));
}

// Without a semaphore, the second flavour or a console of its own (MANPATH) those rows stay
// out; after a language restart the extracted files are in place already.
TEST_F(VmArgumentsTest, ConditionalPropertiesStayOut) {
    fake.environment.runtimeVariables["MANPATH"] = "";
    ctx.flavour = 'q';
    ctx.languageRestart = true;
    ctx.unextractedPosition = 5000;
    EXPECT_EQ(buildSystemProperties(ctx),
              (VmOptionList{"-Dqelvo.moduleName=" + kModule, "-Dsun.java.command=" + kModule,
                            "-Dqelvo.tempDir=", "-Dqelvo.unextractedPosition=-1",
                            "-Djava.library.path="}));
}

// The last locale-format argument decides; unless it says true, the locale's language and
// country go along with it.
TEST_F(VmArgumentsTest, LocaleOptionsFollowTheLastFormatArgument) {
    const std::u16string f = u"-Dsun.locale.formatasdefault";
    const std::tuple<std::vector<std::u16string>, const char*, const char*> cases[] = {
        {{f + u"=false", f + u"=true"}, "de_CH", "=true "},
        {{f + u"=true", f + u"=false"}, "de_CH", "=false -Duser.language=de -Duser.country=CH "},
        {{f + u"=no"}, "fr", "=no -Duser.language=fr "},
        {{f}, "de_CH", ""},
    };
    for (const auto& [arguments, locale, expected] : cases) {
        SCOPED_TRACE(expected);
        ctx.arguments = arguments;
        ctx.locale = config::Locale(locale);
        VmOptionList options;
        ClassPathOverrides overrides;
        addLocaleOptions(ctx, options, overrides);
        std::string joined;
        for (const std::string& option : options)
            joined += option.substr(option.starts_with("-Dsun") ? 28 : 0) + " "; // its value
        EXPECT_EQ(joined, expected);
    }
}

} // namespace
} // namespace kwn::windows
