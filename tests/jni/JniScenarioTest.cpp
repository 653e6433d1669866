// The VM invocation code against a real OpenJDK VM with -Xcheck:jni. A process can create only
// one VM, so CTest runs every scenario in a process of its own (RunScenario.cmake), which also
// fails the scenario on any checked-JNI complaint the VM prints.
//
// Everything but the VM is the unit tests' fake platform: the launcher sits at
// C:\apps\run.exe on the fake disk, while the VM loads the test classes from the build folder.
#include "windows/JavaEntryPoints.h"
#include "windows/JavaVMLauncher.h"
#include "windows/MainArguments.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

namespace kwn::windows {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

using Arguments = std::vector<std::u16string>;

const std::u16string kLogFile = u"C:\\Temp\\kwn_nlog_1";
const std::string kEntryClasses = KWN_JNI_ENTRY_CLASSES;
const std::string kFirstRunClasses = KWN_JNI_FIRSTRUN_CLASSES;

std::string toUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<std::string> toUtf8(const Arguments& list) {
    std::vector<std::string> out;
    for (const std::u16string& text : list)
        out.push_back(toUtf8(text));
    return out;
}

// One call the Java side recorded: "main com/qelvo/runtime/WinLauncher" and its values.
struct Event {
    std::string name;
    std::vector<std::string> values;
};

// The VM library stays loaded for the life of the process, as on Windows.
void* loadCreateJavaVm(std::string& failure) {
    void* library = dlopen(KWN_LIBJVM_PATH, RTLD_NOW | RTLD_GLOBAL);
    void* entryPoint = library ? dlsym(library, "JNI_CreateJavaVM") : nullptr;
    if (!entryPoint)
        failure = dlerror();
    return entryPoint;
}

class JniScenario : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        recordFile = std::string(KWN_JNI_WORK_DIR) + "/" + test->name() + ".record";
        std::remove(recordFile.c_str());
        fake.process.moduleFile = u"C:\\apps\\run.exe";
        fake.files.addFile(u"C:\\apps\\run.exe", "MZ");
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.environment.variables["QELVO_LOG"] = "yes";
        fake.files.addDirectory(u"C:\\Temp");
        ctx.config.setNarrow(1005, "The JVM could not be started.");
        ctx.config.setNarrow(1009, "Internal error {0}");
        ctx.config.setNarrow(1010, "Couldn't load main class.");
        ctx.config.setNarrow(1011, "Main method not found.");
        std::string failure;
        ctx.createJavaVm = loadCreateJavaVm(failure);
        ASSERT_NE(ctx.createJavaVm, nullptr) << failure;
    }

    // The VM options go through the configured options, as an application's would; the
    // leading ":" ends whatever the launcher puts before the class path on this system.
    void configure(char flavour, const std::string& behaviour,
                   const std::string& classPath = kEntryClasses + ":" + kFirstRunClasses,
                   const std::string& extraOptions = "") {
        ctx.flavour = flavour;
        ctx.config.setNarrow(123, "-Xcheck:jni \"-Dkwn.test.record=" + recordFile +
                                      "\" \"-Dkwn.test.behaviour=" + behaviour +
                                      "\" \"-classpath :" + classPath + "\" " + extraOptions);
    }

    std::vector<Event> events() const {
        std::vector<Event> list;
        std::ifstream in(recordFile, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            size_t blank = line.rfind(' ');
            Event event{line.substr(0, blank), {}};
            size_t count = std::stoul(line.substr(blank + 1));
            for (size_t i = 0; i < count && std::getline(in, line); ++i)
                event.values.push_back(line);
            list.push_back(event);
        }
        return list;
    }
    std::vector<std::string> eventNames() const {
        std::vector<std::string> names;
        for (const Event& event : events())
            names.push_back(event.name);
        return names;
    }
    std::string logText() const { return fake.files.text(kLogFile); }

    // Whether the VM still takes new threads: DestroyJavaVM makes it refuse them.
    bool vmStillAttachable() {
        bool attached = false;
        std::thread other([&] {
            if (JNIEnv* env = attachCurrentThread(ctx)) {
                attached = env->FindClass(java::kStringClass) != nullptr;
                detachCurrentThread(ctx);
            }
        });
        other.join();
        return attached;
    }

    // Runs body with standard error captured, then hands the text on, so that the scenario
    // runner still sees anything the VM complained about meanwhile.
    template <class Body> std::string withStderr(Body body) {
        testing::internal::CaptureStderr();
        body();
        std::string text = testing::internal::GetCapturedStderr();
        std::cerr << text;
        return text;
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
    std::string recordFile;
};

TEST_F(JniScenario, MainReceivesTheArgumentLayout) {
    configure('e', "");
    const std::pair<config::Key, const char*> settings[] = {
        {107, "1"}, {122, "app.Main"}, {102, "1"},   {103, "error.log"},
        {104, "1"}, {105, "${OUT}"},   {106, "0"},   {124, "-fixed \"two words\""},
        {125, "1"}, {108, "0"},        {10123, "1"},
    };
    for (const auto& [key, value] : settings)
        ctx.config.setNarrow(key, value);
    fake.environment.variables["OUT"] = "$out.log";
    ctx.arguments = {u"run.exe",
                     u"a",
                     u"-J-Xss2m",
                     u"-Dsun.locale.formatasdefault=true",
                     u"\u00e9t\u00e9 \u4E2D\U0001D11E",
                     u""};

    EXPECT_TRUE(launchJavaProgram(ctx, true));

    std::vector<Event> calls = events();
    ASSERT_EQ(calls.size(), 1u); // no splash call without key 108
    EXPECT_EQ(calls[0].name, "main com/qelvo/runtime/WinLauncher");
    EXPECT_THAT(calls[0].values, ElementsAre("true", "app.Main", "C:\\apps\\error.log", "$out.log",
                                             "false", "run.exe", "-fixed", "two words", "a",
                                             "\u00e9t\u00e9 \u4E2D\U0001D11E", ""));
    EXPECT_EQ(calls[0].values, toUtf8(buildMainArguments(ctx)));
    EXPECT_THAT(logText(), HasSubstr("\nlaunching program\n"));
    EXPECT_THAT(logText(), HasSubstr(": -Xcheck:jni\n"));
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nJVM created\n"
                                     "main class: com/qelvo/runtime/WinLauncher\n"));
    EXPECT_THAT(logText(), HasSubstr("\nparam count: 11\nparam 0: true\nparam 1: app.Main\n"));
    EXPECT_THAT(logText(), HasSubstr("\nparam 10: \ncalling main\nmain returned\n"
                                     "dest JVM\nlaunch done\n"));
    EXPECT_FALSE(vmStillAttachable()); // destroyed after main
}

TEST_F(JniScenario, SecondFlavourCallsItsOwnEntryClass) {
    configure('i', "");
    ctx.config.setNarrow(10003, ".");
    ctx.arguments = {u"run.exe", u"x"};
    EXPECT_TRUE(launchJavaProgram(ctx, false));
    // No marker file: the first-run class is not asked.
    EXPECT_THAT(eventNames(), ElementsAre("main com/kestrowan/runtime/launcher/WinLauncher"));
    EXPECT_TRUE(vmStillAttachable()); // kept alive when not asked to destroy it
}

TEST_F(JniScenario, ExceptionInMainFailsTheLaunchAndKeepsTheVm) {
    configure('e', "mainThrows");
    ctx.arguments = {u"run.exe"};
    bool launched = true;
    std::string errors = withStderr([&] { launched = launchJavaProgram(ctx, true); });
    EXPECT_FALSE(launched);
    EXPECT_THAT(errors, HasSubstr("java.lang.IllegalStateException: main was told to throw"));
    EXPECT_THAT(errors, HasSubstr("at kwntest.EntryMain.run"));
    EXPECT_THAT(logText(), HasSubstr("\nmain returned\nERROR: an exception occured\n"
                                     "ERROR: could not call main\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("dest JVM")));
    EXPECT_THAT(logText(), Not(HasSubstr("launch done")));
    EXPECT_TRUE(vmStillAttachable());
}

TEST_F(JniScenario, FirstRunFalseStopsBeforeMain) {
    configure('i', "firstRunFalse");
    ctx.config.setNarrow(10003, ".");
    fake.files.addFile(u"C:\\apps\\.kestrowan\\firstrun", "");
    ctx.arguments = {u"run.exe"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    EXPECT_THAT(eventNames(), ElementsAre("firstRun"));
    EXPECT_THAT(logText(), HasSubstr("\ncheckFirstRun stopped further execution\ndest JVM\n"
                                     "launch done\n"));
}

TEST_F(JniScenario, FirstRunTrueGoesOnToMain) {
    configure('i', "");
    ctx.config.setNarrow(10003, "inst\\..");
    fake.files.addFile(u"C:\\apps\\.kestrowan\\firstrun", "");
    ctx.arguments = {u"run.exe"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    EXPECT_THAT(eventNames(),
                ElementsAre("firstRun", "main com/kestrowan/runtime/launcher/WinLauncher"));
}

TEST_F(JniScenario, ExceptionInFirstRunStopsQuietlyBeforeMain) {
    configure('i', "firstRunThrows");
    ctx.config.setNarrow(10003, ".");
    fake.files.addFile(u"C:\\apps\\.kestrowan\\firstrun", "");
    ctx.arguments = {u"run.exe"};
    bool launched = false;
    std::string errors = withStderr([&] { launched = launchJavaProgram(ctx, true); });
    EXPECT_TRUE(launched); // a normal end, exit code 0
    EXPECT_THAT(errors, HasSubstr("first run was told to throw"));
    EXPECT_THAT(eventNames(), ElementsAre("firstRun"));
}

TEST_F(JniScenario, MissingFirstRunClassEndsWithInternalError14) {
    configure('i', "", kEntryClasses);
    ctx.config.setNarrow(10003, ".");
    fake.files.addFile(u"C:\\apps\\.kestrowan\\firstrun", "");
    ctx.arguments = {u"run.exe"};
    EXPECT_EQ(test::exitCodeOf([&] { launchJavaProgram(ctx, true); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_THAT(test::narrow(fake.ui.boxes[0].text), HasSubstr("Internal error 14"));
    EXPECT_THAT(eventNames(), IsEmpty());
}

TEST_F(JniScenario, MissingEntryClassEndsWithMessage1010) {
    configure('e', "", KWN_JNI_WORK_DIR);
    ctx.arguments = {u"run.exe"};
    EXPECT_EQ(test::exitCodeOf([&] { launchJavaProgram(ctx, true); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_THAT(test::narrow(fake.ui.boxes[0].text), HasSubstr("Couldn't load main class."));
    EXPECT_THAT(logText(), HasSubstr("\nmain class: com/qelvo/runtime/WinLauncher\n"
                                     "ERROR: could not find main class\n"));
}

TEST_F(JniScenario, EntryClassWithoutStaticMainEndsWithMessage1011) {
    // The class is found; only its main is an instance method, which no start may call.
    configure('i', "", KWN_JNI_NOMAIN_CLASSES);
    ctx.arguments = {u"run.exe"};
    EXPECT_EQ(test::exitCodeOf([&] { launchJavaProgram(ctx, true); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_THAT(test::narrow(fake.ui.boxes[0].text), HasSubstr("Main method not found."));
    EXPECT_THAT(logText(), HasSubstr("\nmain class: com/kestrowan/runtime/launcher/WinLauncher\n"
                                     "ERROR: could not find main method\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("could not find main class")));
    EXPECT_THAT(logText(), Not(HasSubstr("calling main")));
}

TEST_F(JniScenario, OtherThreadsAttachAndCallTheController) {
    configure('e', "waitForController");
    ctx.arguments = {u"run.exe"};
    EXPECT_EQ(attachCurrentThread(ctx), nullptr); // no VM yet
    detachCurrentThread(ctx);                     // and nothing to detach from

    std::vector<std::string> failures;
    std::thread listener([&] {
        JNIEnv* env = nullptr;
        for (int i = 0; i < 3000 && !env; ++i) {
            env = attachCurrentThread(ctx);
            if (!env)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!env) {
            failures.push_back("never attached");
            return;
        }
        jclass controller = env->FindClass(java::kControllerClass);
        jmethodID performed =
            controller ? env->GetStaticMethodID(controller, java::kStartupPerformedMethod,
                                                java::kStartupPerformedSignature)
                       : nullptr;
        if (!performed) {
            failures.push_back("no startupPerformed");
            env->ExceptionClear();
        } else {
            const std::u16string tail = u"\"C:\\doc one.txt\" -x";
            jstring text = env->NewString(reinterpret_cast<const jchar*>(tail.data()), tail.size());
            env->CallStaticVoidMethod(controller, performed, text);
            if (env->ExceptionCheck())
                failures.push_back("startupPerformed threw");
            env->DeleteLocalRef(text);
            env->CallStaticVoidMethod(controller, performed, nullptr);
            if (env->ExceptionCheck())
                failures.push_back("startupPerformed(null) threw");
        }
        jclass splash = env->FindClass(java::kSplashControllerClass);
        jmethodID action = splash ? env->GetStaticMethodID(splash, java::kGetActionMethod,
                                                           java::kGetActionSignature)
                                  : nullptr;
        jmethodID getText =
            splash ? env->GetStaticMethodID(splash, java::kGetTextMethod, java::kGetTextSignature)
                   : nullptr;
        jint requested = action ? env->CallStaticIntMethod(splash, action) : 0;
        if (action && getText && !env->ExceptionCheck() && requested == java::kActionFetchText) {
            jstring text = static_cast<jstring>(env->CallStaticObjectMethod(splash, getText));
            if (env->ExceptionCheck() || !text || env->GetStringLength(text) != 16)
                failures.push_back("getText");
            env->DeleteLocalRef(text);
        } else {
            failures.push_back("splash controller");
            env->ExceptionClear();
        }
        detachCurrentThread(ctx);
    });
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    listener.join();
    EXPECT_THAT(failures, IsEmpty());

    // The listener may come before or after main starts; only its own order is fixed.
    std::vector<Event> performed;
    for (const Event& event : events()) {
        if (event.name == "startupPerformed")
            performed.push_back(event);
    }
    ASSERT_EQ(performed.size(), 2u);
    EXPECT_THAT(performed[0].values, ElementsAre("\"C:\\doc one.txt\" -x"));
    EXPECT_THAT(performed[1].values, ElementsAre("null"));
    EXPECT_THAT(eventNames(), testing::Contains("main com/qelvo/runtime/WinLauncher"));
    EXPECT_THAT(eventNames(), testing::Contains("getText"));
    EXPECT_THAT(eventNames(), testing::Contains("controller called"));
}

TEST_F(JniScenario, SplashSettingsReachTheJavaSide) {
    configure('i', "");
    const std::pair<config::Key, const char*> settings[] = {
        {108, "1"},         {10123, "1"},      {163, "1"},       {10111, "Starting..."},
        {10109, "10"},      {10110, "-20"},    {10114, "0,0,0"}, {10113, "12"},
        {10115, "700"},     {10118, "line 2"}, {10116, "30"},    {10117, "40"},
        {10121, "255,0,0"}, {10120, "9"},      {10122, "400"},   {10112, "Arial"},
    };
    for (const auto& [key, value] : settings)
        ctx.config.setNarrow(key, value);
    ctx.arguments = {u"run.exe"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    std::vector<Event> calls = events();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "splash"); // before main, to the first flavour's class
    EXPECT_THAT(calls[0].values,
                ElementsAre("true", "true", "Starting...", "10", "-20", "0,0,0", "12", "700",
                            "line 2", "30", "40", "255,0,0", "9", "400"));
    EXPECT_EQ(calls[1].name, "main com/kestrowan/runtime/launcher/WinLauncher");
}

TEST_F(JniScenario, SplashSettingsDefaultToEmptyAndZero) {
    configure('e', "");
    ctx.config.setNarrow(108, "1");
    ctx.config.setNarrow(10123, "2");
    ctx.arguments = {u"run.exe"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    std::vector<Event> calls = events();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_THAT(calls[0].values, ElementsAre("true", "false", "", "0", "0", "", "0", "0", "", "0",
                                             "0", "", "0", "0"));
}

TEST_F(JniScenario, MissingSplashClassIsLoggedAndTheLaunchGoesOn) {
    // Only the second flavour's classes: the splash configuration class is not there.
    configure('i', "", KWN_JNI_NOSPLASH_CLASSES);
    ctx.config.setNarrow(108, "1");
    ctx.config.setNarrow(10123, "1");
    ctx.arguments = {u"run.exe"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: could not find main class for splash properties\n"));
    EXPECT_THAT(eventNames(), ElementsAre("main com/kestrowan/runtime/launcher/WinLauncher"));
}

TEST_F(JniScenario, HundredKilobyteArgumentArrivesIntact) {
    configure('e', "");
    std::u16string big;
    for (int i = 0; big.size() < 100 * 1024; ++i)
        big += u"x\u00e9\u4E2D\U0001D11E" + test::widen(std::to_string(i));
    ctx.arguments = {u"run.exe", big, u"after"};
    EXPECT_TRUE(launchJavaProgram(ctx, true));
    std::vector<Event> calls = events();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].values.size(), 8u);
    EXPECT_TRUE(calls[0].values[6] == toUtf8(big)) << "the long argument changed on its way";
    EXPECT_EQ(calls[0].values[7], "after");
}

TEST_F(JniScenario, ArgumentTheVmCannotHoldEndsWithAnInternalStop) {
    configure('e', "", kEntryClasses, "-Xmx16m");
    ctx.arguments = {u"run.exe", std::u16string(24 * 1024 * 1024, u'\u4E2D')};
    EXPECT_EQ(test::exitCodeOf([&] { launchJavaProgram(ctx, true); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_THAT(test::narrow(fake.ui.boxes[0].text), HasSubstr("jstr"));
    EXPECT_THAT(eventNames(), IsEmpty());
}

TEST_F(JniScenario, VmThatRejectsItsOptionsFailsTheLaunch) {
    configure('e', "", kEntryClasses, "-XX:MaxHeapSize=lots");
    ctx.arguments = {u"run.exe"};
    EXPECT_FALSE(launchJavaProgram(ctx, true));
    EXPECT_FALSE(ctx.vmCreated);
    EXPECT_EQ(attachCurrentThread(ctx), nullptr);
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));
}

} // namespace
} // namespace kwn::windows
