// The VM invocation code against the host's real VM, run with -Xcheck:jni. A process can create
// only one VM, so each scenario is a process of its own (CMakeLists.txt), failed on any complaint
// of the checked JNI. After its launch a scenario goes on calling the launcher's steps on the same
// VM: the fake platform's exit throws, so even a fatal end leaves the VM usable.
// Everything but the VM is the unit tests' fake platform, with the launcher at C:\apps\run.exe;
// the Java side reports its calls through a record file and is told what to do in another.
// The last scenario runs the real kwnruntime.jar with a sample application shipped as a jar. The
// Java sides are jars built beside this test (CMakeLists.txt).
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "windows/JavaEntryPoints.h"
#include "windows/JavaVMLauncher.h"
#include "windows/SplashJavaControl.h"
#include "windows/StartupNotifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace kwn::windows {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

const std::u16string kFirstRunMarker = u"C:\\apps\\.kestrowan\\firstrun";

class JniScenario : public testing::Test {
protected:
    void SetUp() override {
        record = KWN_JNI_DIR "/" +
                 std::string(testing::UnitTest::GetInstance()->current_test_info()->name());
        tell("");
        takeEvents();
        fake.process.moduleFile = u"C:\\apps\\run.exe";
        fake.files.addFile(u"C:\\apps\\run.exe", "MZ");
        fake.files.addDirectory(u"C:\\Temp");
        fake.environment.variables = {{"TMP", "C:\\Temp"}, {"QELVO_LOG", "yes"}};
        setNarrow({{1009, "Internal error {0}"},
                   {1010, "Couldn't load main class."},
                   {1011, "Main method not found."}});
        ctx.arguments = {u"run.exe"};
        // The VM library stays loaded for the life of the process, as on Windows.
        ctx.createJavaVm =
            dlsym(dlopen(KWN_LIBJVM_PATH, RTLD_NOW | RTLD_GLOBAL), "JNI_CreateJavaVM");
        ASSERT_NE(ctx.createJavaVm, nullptr) << dlerror();
    }

    // The VM options go through the configured options, as an application's would; the leading
    // ":" ends whatever the launcher puts before the class path on this system.
    void configure(char flavour, const std::string& classPath, const std::string& options = "") {
        ctx.flavour = flavour;
        ctx.config.setNarrow(123, "-Xcheck:jni \"-Dkwn.test.record=" + record +
                                      "\" \"-classpath :" + classPath + "\" " + options);
    }
    static std::string jar(const std::string& name) { return KWN_JNI_DIR "/" + name + ".jar"; }
    void setNarrow(std::initializer_list<std::pair<config::Key, const char*>> settings) {
        for (const auto& [key, value] : settings)
            ctx.config.setNarrow(key, value);
    }
    void tell(const char* behaviour) { std::ofstream(record + ".tell") << behaviour; }

    // The calls the Java side recorded since the last look, whole or only their names.
    std::vector<std::string> takeEvents(bool namesOnly = false) {
        std::vector<std::string> events;
        std::ifstream in(record);
        for (std::string line; std::getline(in, line);)
            events.push_back(namesOnly ? line.substr(0, line.find('|')) : line);
        std::remove(record.c_str());
        return events;
    }
    std::string logText() const { return fake.files.text(u"C:\\Temp\\kwn_nlog_1"); }

    // Runs a step that must end the launcher with a message box and returns its text. The
    // exception the failed lookup left pending is cleared, as the process would have ended.
    std::string endingMessage(const std::function<void()>& step) {
        fake.ui.boxes.clear();
        EXPECT_EQ(test::exitCodeOf(step), 1);
        attachCurrentThread(ctx)->ExceptionClear();
        return fake.ui.boxes.size() == 1 ? test::narrow(fake.ui.boxes[0].text) : "(no box)";
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
    std::string record;
};

const std::string kSecondEntry = "main com/kestrowan/runtime/launcher/WinLauncher";

// The first flavour's main gets its arguments as the VM's strings and waits for another thread
// to attach and call the instance controller; the VM is destroyed after main, once that thread
// detached. Which arguments main gets is the unit tests' matter.
TEST_F(JniScenario, FirstFlavourLaunch) {
    configure('e', jar("full"));
    tell("waitForController");
    setNarrow({{107, "1"}, {122, "app.Main"}, {108, "0"}, {10123, "1"}});
    ctx.arguments = {u"run.exe", u"a", u"\u00e9t\u00e9 \u4E2D\U0001D11E", u""};
    std::thread listener([&] {
        // Attached as an ordinary thread first, so that the VM waits for it to detach.
        for (int i = 0; i < 3000 && !attachCurrentThread(ctx); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        StartupNotifier notifier(ctx);
        ASSERT_TRUE(notifier.attach());
        notifier.deliver(std::nullopt);
        detachCurrentThread(ctx);
    });
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    listener.join();

    EXPECT_THAT(takeEvents(),
                testing::UnorderedElementsAre("main com/qelvo/runtime/WinLauncher|true|"
                                              "app.Main|||false|run.exe|a|\u00e9t"
                                              "\u00e9 \u4E2D\U0001D11E|",
                                              "startupPerformed|null"));
    // The steps of the launch in the log, the options and the paths looked up in between. The
    // VM set the locale, so no pattern may span the non-ASCII argument.
    EXPECT_THAT(logText(),
                testing::ContainsRegex(
                    "\nlaunching program\n.*\nCreating JVM\nJVM created\nmain class: "
                    "com/qelvo/runtime/WinLauncher\n.*\nparam count: 9\nparam 0: true\n"));
    EXPECT_TRUE(
        logText().ends_with("\nparam 8: \ncalling main\nmain returned\ndest JVM\nlaunch done\n"));
    // DestroyJavaVM makes the VM refuse new threads.
    std::thread([&] { EXPECT_EQ(attachCurrentThread(ctx), nullptr); }).join();
}

// The splash settings reach the first flavour's class before the second flavour's main; what
// the splash throws does not keep main from running, but a main that throws fails the launch and
// keeps the VM. On that VM the first-run hook then decides whether main follows, and forty rounds
// of every step show any local reference the launcher forgets: they all stay on this thread, and
// -Xcheck:jni reports more than 32 of them.
TEST_F(JniScenario, SecondFlavourLaunchThenRepeatedSteps) {
    configure('i', jar("full"), "-Xmx16m");
    tell("splashThrows,mainThrows");
    setNarrow({{108, "1"}, {10123, "1"}, {163, "1"}});
    // Each splash line setting its own value, so that any two swapped show.
    for (config::Key key = 10109; key <= 10122; ++key)
        ctx.config.setNarrow(key, std::to_string(key - 10100));
    EXPECT_FALSE(launchJavaProgram(ctx, true));
    EXPECT_THAT(takeEvents(), ElementsAre("splash|true|true|11|9|10|14|13|15|18|16|17|21|20|22",
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
    auto refuse = +[](JavaVM**, void**, void*) -> jint { return JNI_ERR; };
    for (void* refusing : {static_cast<void*>(nullptr), reinterpret_cast<void*>(refuse)}) {
        ctx.createJavaVm = refusing;
        EXPECT_FALSE(launchJavaProgram(ctx, true));
    }
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));

    ctx.createJavaVm = createJavaVm;
    configure('i', jar("broken"));
    setNarrow({{108, "1"}, {10123, "1"}});
    EXPECT_THAT(endingMessage([&] { launchJavaProgram(ctx, true); }),
                HasSubstr("Main method not found."));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: could not find main class for splash properties\n"
                                     "main class: com/kestrowan/runtime/launcher/WinLauncher\n"
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
    StartupNotifier notifier(ctx);
    ASSERT_TRUE(notifier.attach());
    notifier.deliver(u"x");
    notifier.deliver(std::nullopt);
    const std::string dropped = "error mailslot methods 0000000000000000 0000000000000000\n";
    EXPECT_THAT(logText(), HasSubstr("\n" + dropped + dropped));
}

std::string fileText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Polls the controller as the splash timer does, until it asks for the wanted action.
bool pollUntil(SplashJavaControl& splash, int action) {
    for (int tick = 0; tick < 3000; ++tick) {
        if (splash.getAction() == action)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The real kwnruntime.jar behind the launcher's lookups, with a sample application as a user
// ships one: the first-run hook, the argument layout, a second start and the splash polled as
// the splash thread does, from a thread of their own. How the jar treats a main that throws is the
// runtime library's own test; the launcher's side of it is the second flavour's scenario.
TEST_F(JniScenario, RealRuntimeJar) {
    configure('i', KWN_RUNTIME_JAR ":" + jar("sample"), "-Dfile.encoding=UTF-8");
    // clang-format off
    setNarrow({{122, "sample.App"}, {104, "1"}, {105, "${kwn.test.record}.out"}, {106, "0"},
               {124, "-fixed \"two words\""}, {10003, "."}, {108, "1"}, {10123, "1"}});
    // clang-format on
    ctx.arguments = {u"run.exe", u"a", u"\u00e9t\u00e9 \u4E2D"};
    fake.files.addFile(kFirstRunMarker, "");
    std::remove((record + ".out").c_str());

    EXPECT_TRUE(launchJavaProgram(ctx, false));
    EXPECT_TRUE(logText().ends_with("\ncheckFirstRun stopped further execution\nlaunch done\n"));
    // The runtime splash settings reach the jar: its method has the signature the launcher calls.
    EXPECT_THAT(logText(), Not(HasSubstr("ERROR")));
    EXPECT_EQ(fileText(record + ".out"), "");

    // Without the marker, main runs. The splash thread sees the application's text, then hands
    // over a second start as the listener thread would, and the application hides the splash
    // once its listener has it.
    ctx.config.setNarrow(10003, "elsewhere");
    std::thread splashThread([&] {
        SplashJavaControl splash(ctx);
        ASSERT_TRUE(splash.attach());
        ASSERT_TRUE(splash.findController());
        EXPECT_TRUE(pollUntil(splash, java::kActionFetchText));
        EXPECT_EQ(splash.getText(), u"Loading 4");
        StartupNotifier notifier(ctx);
        ASSERT_TRUE(notifier.attach());
        notifier.deliver(u"-open \"a b\" \u4E2D");
        EXPECT_TRUE(pollUntil(splash, java::kActionHideSplash));
        splash.detach();
    });
    JNIEnv* env = attachCurrentThread(ctx);
    EXPECT_TRUE(callMain(ctx, env));
    splashThread.join();
    EXPECT_EQ(
        fileText(record + ".out"),
        "args|-fixed|two words|a|\u00e9t\u00e9 \u4E2D|run.exe\nsecond start|-open|a b|\u4E2D\n");
}

} // namespace
} // namespace kwn::windows
