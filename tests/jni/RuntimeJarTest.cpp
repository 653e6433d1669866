// The launcher's JNI code with the real kwnruntime.jar and a sample application shipped as a jar
// (sample/): the first-run hook, the argument layout, the logs, a second start on a thread of
// its own and the splash polled as the splash thread does, then a main that throws.
#include "JniFixture.h"
#include "windows/JavaEntryPoints.h"
#include "windows/SplashJavaControl.h"
#include "windows/StartupNotifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

namespace kwn::windows {
namespace {

using jnitest::JniScenario;
using testing::HasSubstr;

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
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

TEST_F(JniScenario, RealRuntimeJar) {
    configure('i', KWN_RUNTIME_JAR ":" KWN_SAMPLE_JAR, "-Dfile.encoding=UTF-8");
    // clang-format off
    setNarrow({{122, "sample.App"}, {102, "1"}, {103, "${kwn.test.record}.err"}, {104, "1"},
               {105, "${kwn.test.record}.out"}, {106, "0"}, {124, "-fixed \"two words\""},
               {10003, "."}});
    // clang-format on
    ctx.arguments = {u"run.exe", u"a", u"\u00e9t\u00e9 \u4E2D"};
    fake.files.addFile(jnitest::kFirstRunMarker, "");
    std::remove((record + ".out").c_str());

    tell("stop");
    EXPECT_TRUE(launchJavaProgram(ctx, false));
    EXPECT_TRUE(logText().ends_with("\ncheckFirstRun stopped further execution\nlaunch done\n"));
    EXPECT_EQ(fileText(record + ".out"), "");

    // The splash thread sees the application's text, the listener thread then hands over a
    // second start, and the application hides the splash once its listener has it.
    tell("");
    std::promise<void> textSeen;
    std::thread splashThread([&] {
        SplashJavaControl splash(ctx);
        ASSERT_TRUE(splash.attach());
        ASSERT_TRUE(splash.findController());
        EXPECT_TRUE(pollUntil(splash, java::kActionFetchText));
        EXPECT_EQ(splash.getText(), u"Loading 4");
        textSeen.set_value();
        EXPECT_TRUE(pollUntil(splash, java::kActionHideSplash));
        splash.detach();
    });
    std::thread listenerThread([&] {
        textSeen.get_future().wait();
        StartupNotifier notifier(ctx);
        ASSERT_TRUE(notifier.attach());
        notifier.deliver(u"-open \"a b\" \u4E2D");
        detachCurrentThread(ctx);
    });
    JNIEnv* env = attachCurrentThread(ctx);
    EXPECT_TRUE(callMain(ctx, env));
    splashThread.join();
    listenerThread.join();
    EXPECT_EQ(
        fileText(record + ".out"),
        "args|-fixed|two words|a|\u00e9t\u00e9 \u4E2D|run.exe\nsecond start|-open|a b|\u4E2D\n");
    EXPECT_EQ(fileText(record + ".err"), "error line\n");

    // The exception reaches the launcher, which fails the launch; the log has it first.
    ctx.arguments = {u"run.exe", u"throw"};
    EXPECT_FALSE(callMain(ctx, env));
    EXPECT_THAT(
        fileText(record + ".err"),
        testing::StartsWith("error line\nThe application's main ended with an exception:\n"
                            "java.lang.IllegalStateException: the sample was told to throw\n"));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: an exception occured\n"));
}

} // namespace
} // namespace kwn::windows
