// What the VM launcher does without a VM; with the real one, see tests/jni.
#include "windows/JavaVMLauncher.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

jint JNICALL refuseToCreateVm(JavaVM**, void**, void*) {
    return JNI_ERR;
}

class JavaVMLauncherTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\Apps\\Tool\\run.exe";
        fake.files.addFile(u"C:\\Apps\\Tool\\run.exe", "MZ");
        fake.files.addDirectory(u"C:\\Temp");
        fake.environment.variables = {{"TMP", "C:\\Temp"}, {"QELVO_LOG", "yes"}};
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

// Only the second flavour has an entry class of its own; the first-run marker lies in the
// installation directory, relative to the launcher unless absolute.
TEST_F(JavaVMLauncherTest, EntryClassAndFirstRunMarker) {
    for (char flavour : {'e', 'I', '\0'})
        EXPECT_EQ(entryClassName(flavour), "com/qelvo/runtime/WinLauncher") << int{flavour};
    EXPECT_EQ(entryClassName('i'), "com/kestrowan/runtime/launcher/WinLauncher");
    ctx.config.setNarrow(10003, "Sub\\..\\..");
    EXPECT_EQ(firstRunMarkerPath(ctx), "C:\\Apps\\.kestrowan\\firstrun");
    ctx.config.setNarrow(10003, "D:\\Prog");
    EXPECT_EQ(firstRunMarkerPath(ctx), "D:\\Prog\\.kestrowan\\firstrun");
}

TEST_F(JavaVMLauncherTest, WithoutAVmTheLaunchFailsAndOtherThreadsGetNoEnvironment) {
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    detachCurrentThread(ctx); // must not touch the missing VM
    ctx.vmCreated = true;     // a flag without a handle is no VM either
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    ctx.vmCreated = false;
    for (void* entryPoint :
         {static_cast<void*>(nullptr), reinterpret_cast<void*>(&refuseToCreateVm)}) {
        ctx.createJavaVm = entryPoint;
        EXPECT_FALSE(launchJavaProgram(ctx, true));
        EXPECT_FALSE(ctx.vmCreated);
    }
    EXPECT_THAT(fake.files.text(u"C:\\Temp\\kwn_nlog_1"),
                testing::HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));
}

} // namespace
} // namespace kwn::windows
