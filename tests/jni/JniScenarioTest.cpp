// The VM invocation code against the host's real VM, run with -Xcheck:jni. A process can create
// only one VM, so each scenario is a process of its own (CMakeLists.txt), failed on any complaint
// of the checked JNI. After its launch a scenario goes on calling the launcher's steps on the same
// VM: the fake platform's exit throws, so even a fatal end leaves the VM usable.
// Everything but the VM is the unit tests' fake platform, with the launcher at C:\apps\run.exe.
#include "windows/JavaEntryPoints.h"
#include "windows/JavaVMLauncher.h"
#include "windows/StartupNotifier.h"

#include "JniFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace kwn::windows {
namespace {

using jnitest::JniScenario;
using jnitest::kFirstRunMarker;
using testing::ElementsAre;
using testing::HasSubstr;

const std::string kSecondEntry = "main com/kestrowan/runtime/launcher/WinLauncher";

jint JNICALL refuseToCreateVm(JavaVM**, void**, void*) {
    return JNI_ERR;
}

// The first flavour's main gets the argument layout and waits for another thread to attach and
// call the instance controller; the VM is destroyed after main, once that thread detached.
TEST_F(JniScenario, FirstFlavourLaunch) {
    configure('e', classes("full"));
    tell("waitForController");
    // clang-format off
    setNarrow({{107, "1"}, {122, "app.Main"}, {102, "1"}, {103, "error.log"}, {104, "1"},
               {105, "${OUT}"}, {106, "0"}, {124, "-fixed \"two words\""}, {125, "1"},
               {108, "0"}, {10123, "1"}});
    ctx.arguments = {u"run.exe", u"a", u"-J-Xss2m", u"-Dsun.locale.formatasdefault=true",
                     u"\u00e9t\u00e9 \u4E2D\U0001D11E", u""};
    // clang-format on
    fake.environment.variables["OUT"] = "$out.log";
    std::thread listener([&] {
        JNIEnv* env = nullptr;
        for (int i = 0; i < 3000 && !(env = attachCurrentThread(ctx)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_NE(env, nullptr);
        jclass controller = env->FindClass(java::kControllerClass);
        env->CallStaticVoidMethod(controller,
                                  env->GetStaticMethodID(controller, java::kStartupPerformedMethod,
                                                         java::kStartupPerformedSignature),
                                  nullptr);
        detachCurrentThread(ctx);
    });
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    listener.join();

    EXPECT_THAT(takeEvents(), testing::UnorderedElementsAre(
                                  "main com/qelvo/runtime/WinLauncher|true|app.Main|C:\\apps\\"
                                  "error.log|$out.log|false|run.exe|-fixed|two words|a|\u00e9t"
                                  "\u00e9 \u4E2D\U0001D11E|",
                                  "startupPerformed|null"));
    EXPECT_THAT(logText(), HasSubstr("\nlaunching program\n"));
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nJVM created\n"
                                     "main class: com/qelvo/runtime/WinLauncher\n"));
    EXPECT_THAT(logText(), HasSubstr("\nparam count: 11\nparam 0: true\nparam 1: app.Main\n"));
    EXPECT_THAT(logText(), HasSubstr("\nparam 10: \ncalling main\nmain returned\n"
                                     "dest JVM\nlaunch done\n"));
    // DestroyJavaVM makes the VM refuse new threads.
    std::thread([&] { EXPECT_EQ(attachCurrentThread(ctx), nullptr); }).join();
}

// The splash settings reach the first flavour's class before the second flavour's main; what
// the splash throws does not keep main from running, but a main that throws fails the launch and
// keeps the VM. On that VM the first-run hook then decides whether main follows, and forty rounds
// of every step show any local reference the launcher forgets: they all stay on this thread, and
// -Xcheck:jni reports more than 32 of them.
TEST_F(JniScenario, SecondFlavourLaunchThenRepeatedSteps) {
    configure('i', classes("full"), "-Xmx16m");
    tell("splashThrows,mainThrows");
    // clang-format off
    setNarrow({{108, "1"}, {10123, "1"}, {163, "1"}, {10111, "Starting..."}, {10109, "10"},
               {10110, "-20"}, {10114, "0,0,0"}, {10113, "12"}, {10115, "700"},
               {10118, "line 2"}, {10116, "30"}, {10117, "40"}, {10121, "255,0,0"},
               {10120, "9"}, {10122, "400"}, {10112, "Arial"}});
    // clang-format on
    EXPECT_FALSE(launchJavaProgram(ctx, true));
    EXPECT_THAT(takeEvents(),
                ElementsAre("splash|true|true|Starting...|10|-20|0,0,0|12|700|line 2|30|40|"
                            "255,0,0|9|400",
                            testing::StartsWith(kSecondEntry + "|")));
    EXPECT_THAT(logText(), HasSubstr("\nmain returned\nERROR: an exception occured\n"
                                     "ERROR: could not call main\n"));

    JNIEnv* env = attachCurrentThread(ctx);
    fake.files.addFile(kFirstRunMarker, "");
    ctx.config.setNarrow(10003, "inst\\..");
    // clang-format off
    const std::pair<const char*, std::vector<std::string>> rows[] = {{"firstRunFalse", {"firstRun"}},
        {"firstRunThrows", {"firstRun"}}, {"", {"firstRun", kSecondEntry}}};
    // clang-format on
    for (const auto& [behaviour, calls] : rows) {
        tell(behaviour);
        EXPECT_TRUE(callMain(ctx, env));
        EXPECT_EQ(takeEvents(true), calls) << behaviour;
        EXPECT_EQ(logText().ends_with("\ncheckFirstRun stopped further execution\n"),
                  calls.size() == 1);
    }

    // Second starts arrive on a thread of their own, attached as a daemon; what the application's
    // handler throws is logged and cleared, so the next start still arrives.
    std::thread([&] {
        StartupNotifier notifier(ctx);
        ASSERT_TRUE(notifier.attach());
        notifier.deliver(u"-open \u4E2D");
        notifier.deliver(u"throw");
        notifier.deliver(std::nullopt);
        detachCurrentThread(ctx);
    }).join();
    EXPECT_THAT(takeEvents(), ElementsAre("startupPerformed|-open \u4E2D", "startupPerformed|throw",
                                          "startupPerformed|null"));
    EXPECT_THAT(logText(), HasSubstr("\nerror mailslot startupPerformed threw java.lang."
                                     "IllegalStateException: startup was told to throw\n"));

    tell("splashThrows");
    for (int round = 0; round < 40; ++round) {
        passSplashSettings(ctx, env);
        EXPECT_TRUE(callMain(ctx, env));
    }
    EXPECT_EQ(takeEvents(true).size(), 120u);

    // An argument the VM's heap cannot hold stops the launcher, naming the call that failed.
    ctx.arguments = {u"run.exe", std::u16string(24 * 1024 * 1024, u'\u4E2D')};
    EXPECT_THAT(endingMessage([&] { callMain(ctx, env); }), HasSubstr("jstr"));
    EXPECT_EQ(takeEvents(true), std::vector<std::string>{"firstRun"});
}

// Without a VM the launch fails and other threads get no environment. Then an entry class without
// a static main and missing classes: each ends the launcher with its message, but a missing
// splash class is only logged.
TEST_F(JniScenario, NoVmThenBrokenClasses) {
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    detachCurrentThread(ctx); // must not touch the missing VM
    ctx.vmCreated = true;     // a flag without a handle is no VM either
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    ctx.vmCreated = false;
    void* createJavaVm = ctx.createJavaVm;
    for (void* refusing :
         {static_cast<void*>(nullptr), reinterpret_cast<void*>(&refuseToCreateVm)}) {
        ctx.createJavaVm = refusing;
        EXPECT_FALSE(launchJavaProgram(ctx, true));
    }
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));

    ctx.createJavaVm = createJavaVm;
    configure('i', classes("broken"));
    setNarrow({{108, "1"}, {10123, "1"}});
    EXPECT_THAT(endingMessage([&] { launchJavaProgram(ctx, true); }),
                HasSubstr("Main method not found."));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: could not find main class for splash properties\n"));
    EXPECT_THAT(logText(), HasSubstr("\nmain class: com/kestrowan/runtime/launcher/WinLauncher\n"
                                     "ERROR: could not find main method\n"));
    JNIEnv* env = attachCurrentThread(ctx);
    ctx.flavour = 'e';
    EXPECT_THAT(endingMessage([&] { callMain(ctx, env); }), HasSubstr("Couldn't load main class."));
    EXPECT_THAT(logText(), HasSubstr("\nmain class: com/qelvo/runtime/WinLauncher\n"
                                     "ERROR: could not find main class\n"));
    ctx.flavour = 'i';
    fake.files.addFile(kFirstRunMarker, "");
    ctx.config.setNarrow(10003, ".");
    EXPECT_THAT(endingMessage([&] { callMain(ctx, env); }), HasSubstr("Internal error 14"));

    // An application without the controller: each start is logged and dropped, and looked up
    // again for the next one.
    std::thread([&] {
        StartupNotifier notifier(ctx);
        ASSERT_TRUE(notifier.attach());
        notifier.deliver(u"x");
        notifier.deliver(std::nullopt);
        detachCurrentThread(ctx);
    }).join();
    const std::string dropped = "error mailslot methods 0000000000000000 0000000000000000\n";
    EXPECT_THAT(logText(), HasSubstr("\n" + dropped + dropped));
}

} // namespace
} // namespace kwn::windows
