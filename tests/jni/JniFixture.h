#pragma once
// The real-VM scenarios' fixture: the unit tests' fake platform with the launcher at
// C:\apps\run.exe, the host's libjvm.so behind the launch context, and a record file through
// which the Java side reports its calls and is told what to do.
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "windows/JavaVMLauncher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <functional>

namespace kwn::windows::jnitest {

inline const std::u16string kFirstRunMarker = u"C:\\apps\\.kestrowan\\firstrun";

class JniScenario : public testing::Test {
protected:
    void SetUp() override {
        record = KWN_JNI_WORK_DIR "/" +
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
    static std::string classes(const char* set) { return KWN_JNI_CLASSES "/" + std::string(set); }
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

} // namespace kwn::windows::jnitest
