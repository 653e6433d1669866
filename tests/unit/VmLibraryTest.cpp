#include "jvm/VmLibrary.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace kwn::jvm {
namespace {

using test::RuntimeMachine;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::string kJre = "c:\\jre\\bin";
const std::string kJdk = "c:\\jdk\\bin";
const std::string kJdkRuntime = "c:\\jdk\\bin\\..\\jre\\bin";

void addLibrary(RuntimeMachine& m, const std::string& path, bool onDisk = true,
                std::uint32_t error = 0, std::set<std::string> exports = {"JNI_CreateJavaVM"}) {
    m.fake.programs.libraries[path] = {std::move(exports), error};
    if (onDisk)
        m.fake.files.addFile(path, "MZ");
}

std::vector<std::string> libraries(const std::string& bin, std::vector<std::string> vmTypes) {
    for (std::string& vmType : vmTypes)
        vmType = bin + "\\" + vmType + "\\jvm.dll";
    return vmTypes;
}

TEST(VmLibrary, TriesThePreferredTypeThenEveryTypeThenTheJdksRuntime) {
    const std::string longType(250, 'v'), cutType(199, 'v');
    const std::vector<std::string> all = {"hotspot", "client", "server", "classic", "jrockit"};
    auto plus = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        std::string preferred, executable;
        std::vector<std::string> loadable, broken, loads;
    };
    const Case cases[] = {
        {"",
         "c:\\jre\\bin\\javaw.exe",
         libraries(kJre, {"server", "classic"}),
         {},
         libraries(kJre, {"hotspot", "client", "server"})},
        {"", "c:\\jre\\bin\\java.exe", libraries(kJre, {"jrockit"}), {}, libraries(kJre, all)},
        {"server",
         "c:\\jre\\bin\\javaw.exe",
         libraries(kJre, {"client", "server"}),
         {},
         libraries(kJre, {"server"})},
        {"server", "c:\\jre\\bin\\javaw.exe", libraries(kJre, {"classic"}),
         libraries(kJre, {"server"}),
         libraries(kJre, {"server", "hotspot", "client", "server", "classic"})},
        {longType,
         "c:\\jre\\bin\\javaw.exe",
         libraries(kJre, {cutType}),
         {},
         libraries(kJre, {cutType})},
        {"", "c:\\jdk\\bin\\java.exe", libraries(kJdkRuntime, {"client"}),
         libraries(kJdk, {"server"}),
         plus(libraries(kJdk, all), libraries(kJdkRuntime, {"hotspot", "client"}))},
        {"server",
         "c:\\jre\\bin\\javaw.exe",
         {},
         libraries(kJre, {"client"}),
         plus(libraries(kJre, plus({"server"}, all)),
              libraries("c:\\jre\\bin\\..\\jre\\bin", plus({"server"}, all)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preferred.substr(0, 10) + " " + c.executable);
        RuntimeMachine m;
        m.setConfig(config::key::kPreferredVmType, c.preferred);
        for (const std::string& path : c.loadable)
            addLibrary(m, path);
        for (const std::string& path : c.broken)
            addLibrary(m, path, true, 193);
        EXPECT_EQ(loadJvmDll(m.ctx, c.executable) != nullptr, !c.loadable.empty());
        EXPECT_THAT(m.fake.programs.loads, ElementsAreArray(c.loads));
    }
}

TEST(VmLibrary, LogsEachAttemptAndWhyALibraryOnDiskFailed) {
    RuntimeMachine m;
    addLibrary(m, kJre + "\\hotspot\\jvm.dll", true, 193); // of the other processor width
    addLibrary(m, kJre + "\\server\\jvm.dll", false);      // the loader may know better
    EXPECT_NE(loadJvmDll(m.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_THAT(m.logText(), HasSubstr("\nTrying to load JVM-DLL from c:\\jre\\bin\\javaw.exe\n"
                                       "Setting PATH C:\\Windows;c:\\jre\\bin\n"
                                       "Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 1)\n"
                                       "Failed with error code 193\n"
                                       "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)\n"
                                       "Trying c:\\jre\\bin\\server\\jvm.dll (exists 0)\n"));
}

TEST(VmLibrary, PathKeepsTheBinDirectoryThatLoadedAndIsRestoredExactlyOtherwise) {
    RuntimeMachine jdk;
    addLibrary(jdk, kJdkRuntime + "\\hotspot\\jvm.dll");
    ASSERT_NE(loadJvmDll(jdk.ctx, "c:\\jdk\\bin\\java.exe"), nullptr);
    EXPECT_EQ(jdk.fake.environment.variables["PATH"], "C:\\Windows;" + kJdkRuntime);
    EXPECT_THAT(jdk.fake.environment.runtimeAssignments,
                ElementsAre("PATH=C:\\Windows;" + kJdk, "PATH=C:\\Windows",
                            "PATH=C:\\Windows;" + kJdkRuntime));

    RuntimeMachine none;
    const std::string longPath = "C:\\Windows;" + std::string(13000, 'p') + ";;";
    none.fake.environment.variables["PATH"] = longPath;
    EXPECT_EQ(loadJvmDll(none.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_EQ(none.fake.environment.variables["PATH"], longPath);
    EXPECT_THAT(none.fake.environment.runtimeAssignments,
                ElementsAre("PATH=" + longPath + ";" + kJre, "PATH=" + longPath,
                            "PATH=" + longPath + ";c:\\jre\\bin\\..\\jre\\bin",
                            "PATH=" + longPath));
    EXPECT_THAT(none.logged("Setting PATH "), Contains(longPath));

    RuntimeMachine refused;
    refused.fake.environment.setError = 8;
    addLibrary(refused, kJre + "\\hotspot\\jvm.dll");
    EXPECT_NE(loadJvmDll(refused.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_THAT(refused.logged("Setting PATH "),
                ElementsAre("C:\\Windows;" + kJre + " failed with error 8"));
    EXPECT_THAT(refused.fake.environment.runtimeAssignments,
                ElementsAre("PATH=C:\\Windows;" + kJre));
}

// The messages LoadDLL may show, with their argument visible.
struct LoadMachine : RuntimeMachine {
    LoadMachine() {
        const std::pair<config::Key, const char*> messages[] = {{1000, "Error"},
                                                                {1005, "VM failed {0}"},
                                                                {1016, "No {0}-bit JVM"},
                                                                {1018, "env {0}"},
                                                                {1020, "dir {0}"}};
        for (const auto& [key, text] : messages)
            setConfig(key, text);
    }
};

TEST(VmLibrary, LoadDllWithoutARuntimeSaysSoWithTheLaunchersWidth) {
    LoadMachine m;
    EXPECT_FALSE(LoadDLL(m.ctx));
    EXPECT_THAT(m.logged("LoadDLL "), ElementsAre("(1, (null), 0)"));
    EXPECT_THAT(m.logged("ERROR: "), ElementsAre("No JVM found"));
    ASSERT_EQ(m.fake.ui.boxes.size(), 1u);
    EXPECT_EQ(m.fake.ui.boxes[0].text, u"No 64-bit JVM\n\nLog: C:\\Logs\\kwn_nlog_1");
    EXPECT_FALSE(m.fake.ui.boxes[0].wide);
    EXPECT_EQ(m.ctx.jvmHome, "");
}

TEST(VmLibrary, LoadDllKeepsTheLibraryItsEntryPointAndTheRuntimesHome) {
    LoadMachine m;
    m.setConfig(config::key::kSearchSequence, "Bc:\\app\\jre");
    m.fake.files.addFile("c:\\app\\jre\\bin\\java.exe", "MZ");
    addLibrary(m, "c:\\app\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(LoadDLL(m.ctx));
    EXPECT_EQ(m.ctx.jvmHome, "c:\\app\\jre\\bin\\..");
    ASSERT_NE(m.ctx.vmLibrary, nullptr);
    EXPECT_EQ(m.ctx.createJavaVm, m.ctx.vmLibrary->symbol("JNI_CreateJavaVM"));
    EXPECT_NE(m.ctx.createJavaVm, nullptr);
    EXPECT_THAT(m.logged("Loading of JVM-DLL successful"), Not(IsEmpty()));
    EXPECT_THAT(m.fake.ui.boxes, IsEmpty());
}

// The search accepts c:\jre, whose library fails to load or lacks the entry point.
TEST(VmLibrary, AnUnusableRuntimeIsNamedAsPreciselyAsItsSourceAllows) {
    struct Case {
        const char* name;
        std::function<void(RuntimeMachine&)> setUp;
        std::u16string message;
        bool wide;
    };
    const Case cases[] = {
        {"search path",
         [](RuntimeMachine& m) {
             m.setConfig(config::key::kSearchSequence, "S");
             m.fake.programs.searchResults["java.exe"] = "c:\\jre\\bin\\java.exe";
         },
         u"No 64-bit JVM", false},
        {"variable",
         [](RuntimeMachine& m) {
             m.setConfig(config::key::kSearchSequence, "EMY_JAVA");
             m.fake.environment.variables["MY_JAVA"] = "c:/jre";
         },
         u"env MY_JAVA", false},
        {"override variable",
         [](RuntimeMachine& m) { m.fake.environment.variables["KESTROWAN_JAVA_HOME"] = "c:\\jre"; },
         u"env KESTROWAN_JAVA_HOME", false},
        {"directory",
         [](RuntimeMachine& m) { m.setConfig(config::key::kSearchSequence, "Ac:\\jre"); },
         u"dir c:\\jre", false},
        {"previous installation",
         [](RuntimeMachine& m) {
             m.setConfig(config::key::kApplicationId, "app");
             m.fake.registry.setString(platform::RegistryRoot::CurrentUser,
                                       "SOFTWARE\\corvane-systems\\kestrowan\\installations", "app",
                                       "c:");
         },
         u"VM failed {0}", true},
    };
    for (const Case& c : cases) {
        for (bool loads : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (loads ? ", no entry point" : ", no library"));
            LoadMachine m;
            c.setUp(m);
            m.addRuntime("c:\\jre", "1.8.0_20", false);
            if (loads)
                addLibrary(m, kJre + "\\server\\jvm.dll", true, 0,
                           {"JNI_GetDefaultJavaVMInitArgs"});
            else
                addLibrary(m, kJre + "\\hotspot\\jvm.dll", true, 193);
            EXPECT_FALSE(LoadDLL(m.ctx));
            EXPECT_EQ(m.logged("ERROR: ").front(),
                      loads ? "Could not load functions" : "Could not get DLL-Handle.");
            EXPECT_EQ(m.logged("ERROR: ").back(), "Could not load functions");
            ASSERT_EQ(m.fake.ui.boxes.size(), 1u);
            EXPECT_EQ(m.fake.ui.boxes[0].text, c.message + u"\n\nLog: C:\\Logs\\kwn_nlog_1");
            EXPECT_EQ(m.fake.ui.boxes[0].wide, c.wide);
            EXPECT_EQ(m.ctx.jvmHome, "c:\\jre\\bin\\..");
            EXPECT_EQ(m.ctx.createJavaVm, nullptr);
            EXPECT_EQ(m.ctx.vmLibrary, nullptr);
            EXPECT_EQ(m.fake.environment.variables["PATH"],
                      loads ? "C:\\Windows;" + kJre : "C:\\Windows");
        }
    }
}

} // namespace
} // namespace kwn::jvm
