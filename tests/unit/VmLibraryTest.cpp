#include "jvm/VmLibrary.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using test::RuntimeMachine;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

const std::string kJre = "c:\\jre\\bin";

void addLibrary(RuntimeMachine& m, const std::string& path, std::uint32_t error = 0,
                bool onDisk = true, std::set<std::string> exports = {"JNI_CreateJavaVM"}) {
    m.fake.programs.libraries[path] = {std::move(exports), error};
    if (onDisk)
        m.fake.files.addFile(path, "MZ");
}

// "<bin>\<type>\jvm.dll" for each of the blank-separated types.
std::vector<std::string> libraries(const std::string& bin, const std::string& types) {
    std::istringstream words(types);
    std::vector<std::string> paths;
    for (std::string type; words >> type;)
        paths.push_back(bin + "\\" + type + "\\jvm.dll");
    return paths;
}

void expectLoads(const std::string& preferred, const std::string& executable,
                 const std::vector<std::string>& loadable, const std::vector<std::string>& broken,
                 const std::vector<std::string>& loads) {
    SCOPED_TRACE(preferred.substr(0, 9) + " " + executable);
    RuntimeMachine m;
    m.setConfig(config::key::kPreferredVmType, preferred);
    for (const std::string& path : loadable)
        addLibrary(m, path);
    for (const std::string& path : broken)
        addLibrary(m, path, 193);
    EXPECT_EQ(loadJvmDll(m.ctx, executable) != nullptr, !loadable.empty());
    EXPECT_THAT(m.fake.programs.loads, ElementsAreArray(loads));
}

TEST(VmLibrary, TriesThePreferredTypeThenEveryTypeThenTheRuntimeBesideTheBinDirectory) {
    const std::string all = "hotspot client server classic jrockit", cut(199, 'v');
    const std::string jdk = "c:\\jdk\\bin", jdkRuntime = "c:\\jdk\\bin\\..\\jre\\bin";
    expectLoads("", kJre + "\\java.exe", libraries(kJre, "jrockit"), {}, libraries(kJre, all));
    expectLoads("server", kJre + "\\javaw.exe", libraries(kJre, "client server"), {},
                libraries(kJre, "server"));
    expectLoads(std::string(250, 'v'), kJre + "\\javaw.exe", libraries(kJre, cut), {},
                libraries(kJre, cut));
    std::vector<std::string> both = libraries(jdk, all);
    for (const std::string& path : libraries(jdkRuntime, "hotspot client"))
        both.push_back(path);
    expectLoads("", jdk + "\\java.exe", libraries(jdkRuntime, "client"), libraries(jdk, "server"),
                both);
    both = libraries(kJre, "server " + all);
    for (const std::string& path : libraries(kJre + "\\..\\jre\\bin", "server " + all))
        both.push_back(path);
    expectLoads("server", kJre + "\\javaw.exe", {}, libraries(kJre, "client"), both);
}

TEST(VmLibrary, LogsEachAttemptAndWhyALibraryOnDiskFailed) {
    RuntimeMachine m;
    addLibrary(m, kJre + "\\hotspot\\jvm.dll", 193);                // of the other width
    addLibrary(m, kJre + "\\server\\jvm.dll", 0, /*onDisk=*/false); // the loader knows better
    EXPECT_NE(loadJvmDll(m.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_THAT(m.logText(), HasSubstr("\nTrying to load JVM-DLL from c:\\jre\\bin\\javaw.exe\n"
                                       "Setting PATH C:\\Windows;c:\\jre\\bin\n"
                                       "Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 1)\n"
                                       "Failed with error code 193\n"
                                       "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)\n"
                                       "Trying c:\\jre\\bin\\server\\jvm.dll (exists 0)\n"));
}

// PATH names the bin directory before a library loads, and is restored exactly when none does.
TEST(VmLibrary, PathNamesTheBinDirectoryOfTheLibraryThatLoaded) {
    const std::string longPath = "C:\\Windows;" + std::string(13000, 'p') + ";;";
    RuntimeMachine none;
    none.fake.environment.variables["PATH"] = longPath;
    EXPECT_EQ(loadJvmDll(none.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_EQ(none.fake.environment.variables["PATH"], longPath);
    EXPECT_THAT(none.fake.environment.runtimeAssignments,
                ElementsAre("PATH=" + longPath + ";" + kJre, "PATH=" + longPath,
                            "PATH=" + longPath + ";c:\\jre\\bin\\..\\jre\\bin",
                            "PATH=" + longPath));
    EXPECT_EQ(none.logged("Setting PATH ").back(), longPath);

    RuntimeMachine refused;
    refused.fake.environment.setError = 8;
    addLibrary(refused, "c:\\jre\\bin\\..\\jre\\bin\\hotspot\\jvm.dll");
    EXPECT_NE(loadJvmDll(refused.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_EQ(refused.logged("Setting PATH ").back(),
              "C:\\Windows;c:\\jre\\bin\\..\\jre\\bin failed with error 8");
    EXPECT_EQ(refused.fake.environment.runtimeAssignments.back(),
              "PATH=C:\\Windows;c:\\jre\\bin\\..\\jre\\bin");
    EXPECT_EQ(refused.fake.environment.runtimeAssignments.size(), 3u);
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
    std::u16string box() const { return fake.ui.boxes.empty() ? u"" : fake.ui.boxes[0].text; }
};

TEST(VmLibrary, LoadDllWithoutARuntimeSaysSoWithTheLaunchersWidth) {
    LoadMachine m;
    EXPECT_FALSE(LoadDLL(m.ctx));
    EXPECT_THAT(m.logged("LoadDLL "), ElementsAre("(1, (null), 0)"));
    EXPECT_THAT(m.logged("ERROR: "), ElementsAre("No JVM found"));
    EXPECT_EQ(m.box(), u"No 64-bit JVM\n\nLog: C:\\Logs\\kwn_nlog_1");
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
    EXPECT_THAT(m.logged("Loading of JVM-DLL "), ElementsAre("successful"));
    EXPECT_EQ(m.box(), u"");
}

// The search accepts c:\jre, whose library fails to load or lacks the entry point.
TEST(VmLibrary, AnUnusableRuntimeIsNamedAsPreciselyAsItsSourceAllows) {
    struct Case {
        std::string sequence, variable, value, applicationId;
        std::u16string message;
    } const cases[] = {
        {"S", "", "", "", u"No 64-bit JVM"},
        {"EMY_JAVA", "MY_JAVA", "c:/jre", "", u"env MY_JAVA"},
        {"", "KESTROWAN_JAVA_HOME", "c:\\jre", "", u"env KESTROWAN_JAVA_HOME"},
        {"A${RT}", "RT", "c:\\jre", "", u"dir c:\\jre"},
        {"", "", "", "app", u"VM failed {0}"}, // a previous installation; shown wide
    };
    for (const Case& c : cases) {
        for (bool loads : {false, true}) {
            SCOPED_TRACE(c.variable + c.applicationId + (loads ? " loads" : ""));
            LoadMachine m;
            m.setConfig(config::key::kSearchSequence, c.sequence);
            m.setConfig(config::key::kApplicationId, c.applicationId);
            m.fake.environment.variables[c.variable] = c.value;
            m.fake.programs.searchResults["java.exe"] = "c:\\jre\\bin\\java.exe";
            m.fake.registry.setString(platform::RegistryRoot::CurrentUser,
                                      "SOFTWARE\\corvane-systems\\kestrowan\\installations", "app",
                                      "c:");
            m.addRuntime("c:\\jre", "1.8.0_20", false);
            if (loads)
                addLibrary(m, kJre + "\\server\\jvm.dll", 0, true,
                           {"JNI_GetDefaultJavaVMInitArgs"});
            else
                addLibrary(m, kJre + "\\hotspot\\jvm.dll", 193);
            EXPECT_FALSE(LoadDLL(m.ctx));
            std::vector<std::string> errors = m.logged("ERROR: ");
            EXPECT_EQ(errors.size(), loads ? 1u : 2u);
            EXPECT_EQ(errors.front(),
                      loads ? "Could not load functions" : "Could not get DLL-Handle.");
            EXPECT_EQ(errors.back(), "Could not load functions");
            EXPECT_EQ(m.box(), c.message + u"\n\nLog: C:\\Logs\\kwn_nlog_1");
            EXPECT_EQ(m.fake.ui.boxes[0].wide, !c.applicationId.empty());
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
