#include "windows/VmArguments.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>

namespace kwn::windows {
namespace {

using testing::HasSubstr;

const std::string kModule = "C:\\apps\\tool\\run.exe";

using VmArgumentsTest = test::LoggedLaunchTest;

// The class path scans the temp directory, jars before zips, then its user folder, ahead of
// the runtime library and the configured entries.
TEST_F(VmArgumentsTest, EverySourceInItsPlaceAndLogged) {
    ctx.semaphoreName = "kwn_sem_3";
    ctx.flavour = 'i';
    ctx.tempDirectory = "C:\\T";
    ctx.unextractedPosition = 123456;
    ctx.locale = config::Locale("de_CH");
    fake.console.consoleCodePage = 437;
    fake.environment.variables["PATH"] = "C:\\native;C:\\jre\\bin";
    for (const char* file : {"b.zip", "a.jar", "readme.txt", "user\\v.zip", "user\\u.jar"})
        fake.files.addFile(std::string("C:\\T\\") + file, "");
    ctx.config.setNarrow(121, "A0app.jar");
    ctx.config.setNarrow(123, "-Xmx1g \"-classpath/p pre.jar\"");
    ctx.config.setNarrow(125, "1");
    ctx.arguments = {u"run.exe", u"-J-Xss2m", u"-Dsun.locale.formatasdefault=false", u"doc.txt"};
    fake.files.addFile("C:\\apps\\tool\\run.vmoptions", "-Dfile=1\n-classpath/a post.jar\n");
    // clang-format off
    EXPECT_EQ(buildVmArguments(ctx),
              (VmOptionList{"-Dqelvo.semaphoreName=kwn_sem_3", "-Dqelvo.isKestrowan=true", "-Dqelvo.moduleName=" + kModule,
                            "-Dsun.java.command=" + kModule, "-Dqelvo.tempDir=C:\\T", "-Dqelvo.unextractedPosition=123456",
                            "-Djava.library.path=C:\\native;C:\\jre\\bin", "-Dqelvo.consoleCodepage=cp437", "-Xmx1g", "-Xss2m",
                            "-Dsun.locale.formatasdefault=false", "-Duser.language=de", "-Duser.country=CH", "-Dfile=1",
                            "-Djava.class.path=pre.jar;C:\\T\\a.jar;C:\\T\\b.zip;C:\\T\\user\\u.jar;C:\\T\\user\\v.zip;"
                            "C:\\apps\\tool\\.kestrowan\\kwnruntime.jar;C:\\apps\\tool\\app.jar;post.jar"}));
    // clang-format on
    EXPECT_THAT(logText(), HasSubstr("\nvmoption count 15\nvmoption 0: -Dqelvo.semaphoreName="));
    EXPECT_THAT(logText(), HasSubstr("\nvmoption 14: -Djava.class.path=pre.jar;"));
}

// Without a semaphore, the second flavour or a console of its own (MANPATH) those rows stay
// out; after a language restart the extracted files are in place already. The last locale
// format argument decides, and when it says true the locale's language and country stay out.
TEST_F(VmArgumentsTest, ConditionalOptionsStayOut) {
    fake.environment.runtimeVariables["MANPATH"] = "";
    ctx.flavour = 'q';
    ctx.languageRestart = true;
    ctx.unextractedPosition = 5000;
    ctx.locale = config::Locale("de_CH");
    ctx.arguments = {u"-Dsun.locale.formatasdefault=false", u"-Dsun.locale.formatasdefault=true"};
    // clang-format off
    EXPECT_EQ(buildVmArguments(ctx),
              (VmOptionList{"-Dqelvo.moduleName=" + kModule, "-Dsun.java.command=" + kModule, "-Dqelvo.tempDir=",
                            "-Dqelvo.unextractedPosition=-1", "-Djava.library.path=", "-Dsun.locale.formatasdefault=true",
                            "-Djava.class.path="}));
    // clang-format on
}

} // namespace
} // namespace kwn::windows
