#include "launcher/NativeLibraryPath.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::launcher {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

class NativeLibraryPathTest : public test::LoggedLaunchTest {
protected:
};

TEST(NativeLibraryPath, ConfiguredDirectoriesGoInFrontOfPath) {
    struct Case {
        std::optional<std::string> directories;
        std::optional<std::string> path;
        std::string combined;
    };
    const Case cases[] = {
        {"lib;%QELVO_EXEDIR%native;;", "C:\\Windows",
         "C:\\apps\\tool\\lib;C:\\apps\\tool\\native;C:\\Windows"},
        {"lib;", "C:\\Windows", "C:\\apps\\tool\\lib;C:\\Windows"},
        {"D:\\dll", std::nullopt, "D:\\dll;"},
        {"", "C:\\Windows;C:\\bin", "C:\\Windows;C:\\bin"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directories.value_or("<absent>"));
        test::FakePlatform machine;
        machine.process.moduleFile = u"C:\\apps\\tool\\run.exe";
        machine.environment.variables["TMP"] = "C:\\Logs";
        machine.environment.variables["QELVO_LOG"] = "yes";
        machine.files.addDirectory("C:\\Logs");
        if (c.path)
            machine.environment.variables["PATH"] = *c.path;
        LaunchContext context(machine.platform());
        if (c.directories)
            context.config.setNarrow(10004, *c.directories);
        setNativeLibraryPath(context);
        EXPECT_EQ(machine.environment.variables["PATH"], c.combined);
        EXPECT_THAT(machine.environment.runtimeAssignments, ElementsAre("PATH=" + c.combined));
        std::string log = machine.files.text(u"C:\\Logs\\kwn_nlog_1");
        EXPECT_THAT(log, HasSubstr("\nnative lib dir is " + c.directories.value_or("") + "\n"));
        EXPECT_THAT(log, HasSubstr("\nSetting PATH (native libs) " + c.combined + "\n"));
    }
}

TEST_F(NativeLibraryPathTest, FailureToSetPathIsOnlyLogged) {
    ctx.config.setNarrow(10004, "lib");
    fake.environment.variables["PATH"] = "C:\\Windows";
    fake.environment.setError = 203;
    setNativeLibraryPath(ctx);
    EXPECT_EQ(fake.environment.variables["PATH"], "C:\\Windows");
    EXPECT_THAT(fake.environment.runtimeAssignments,
                ElementsAre("PATH=C:\\apps\\tool\\lib;C:\\Windows"));
    EXPECT_THAT(logText(), HasSubstr("\nSetting PATH (native libs) C:\\apps\\tool\\lib;C:\\Windows "
                                     "failed with error 203\n"));
}

} // namespace
} // namespace kwn::launcher
