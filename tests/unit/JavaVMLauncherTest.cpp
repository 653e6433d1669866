#include "windows/JavaVMLauncher.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

class JavaVMLauncherTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\Apps\\Tool\\run.exe";
        fake.files.addFile(u"C:\\Apps\\Tool\\run.exe", "MZ");
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

TEST_F(JavaVMLauncherTest, OnlyTheSecondFlavourHasItsOwnEntryClass) {
    EXPECT_EQ(entryClassName('i'), "com/kestrowan/runtime/launcher/WinLauncher");
    for (char flavour : {'e', 'I', '\0', 'x'}) {
        SCOPED_TRACE(static_cast<int>(flavour));
        EXPECT_EQ(entryClassName(flavour), "com/qelvo/runtime/WinLauncher");
    }
}

// The installation directory is relative to the launcher unless absolute, normalised with its
// case kept; the marker's own part is appended as written.
TEST_F(JavaVMLauncherTest, FirstRunMarkerLiesInTheInstallationDirectory) {
    struct Case {
        const char* installation;
        const char* marker;
    };
    const Case cases[] = {
        {".", "C:\\Apps\\Tool\\.kestrowan\\firstrun"},
        {"..", "C:\\Apps\\.kestrowan\\firstrun"},
        {"Sub\\..\\Inst", "C:\\Apps\\Tool\\Inst\\.kestrowan\\firstrun"},
        {"D:\\Prog\\\\App", "D:\\Prog\\App\\.kestrowan\\firstrun"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installation);
        ctx.config.setNarrow(10003, c.installation);
        EXPECT_EQ(firstRunMarkerPath(ctx), c.marker);
    }
}

TEST_F(JavaVMLauncherTest, OtherThreadsGetNoEnvironmentBeforeTheVmExists) {
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    detachCurrentThread(ctx); // must not touch the missing VM
    ctx.vmCreated = true;     // a flag without a handle is no VM either
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
}

TEST_F(JavaVMLauncherTest, WithoutAnEntryPointTheLaunchFailsAndNothingIsCreated) {
    fake.environment.variables["TMP"] = "C:\\Temp";
    fake.environment.variables["QELVO_LOG"] = "yes";
    fake.files.addDirectory(u"C:\\Temp");
    EXPECT_FALSE(launchJavaProgram(ctx, true));
    EXPECT_FALSE(ctx.vmCreated);
    EXPECT_EQ(ctx.javaVm, nullptr);
    EXPECT_THAT(fake.files.text(u"C:\\Temp\\kwn_nlog_1"),
                testing::HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));
}

} // namespace
} // namespace kwn::windows
