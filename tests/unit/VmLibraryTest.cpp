#include "jvm/VmLibrary.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using test::RuntimeMachine;
using Paths = std::vector<std::string>;

const std::string kJre = "c:\\jre\\bin", kLogName = "\n\nLog: C:\\Logs\\kwn_nlog_1";

void addLibrary(RuntimeMachine& m, const std::string& path, std::uint32_t error = 0,
                bool onDisk = true, std::set<std::string> exports = {"JNI_CreateJavaVM"}) {
    m.fake.programs.libraries[path] = {std::move(exports), error};
    if (onDisk)
        m.fake.files.addFile(path, "MZ");
}

// "<bin>\<type>\jvm.dll" for each of the blank-separated types, appended to paths.
Paths libraries(const std::string& bin, const std::string& types, Paths paths = {}) {
    std::istringstream words(types);
    for (std::string type; words >> type;)
        paths.push_back(bin + "\\" + type + "\\jvm.dll");
    return paths;
}

TEST(VmLibrary, TriesThePreferredTypeThenEveryTypeThenTheRuntimeBesideTheBinDirectory) {
    const std::string all = " hotspot client server classic jrockit", cut(199, 'v');
    const std::string jdk = "c:\\jdk\\bin", jdkRuntime = "c:\\jdk\\bin\\..\\jre\\bin";
    struct Case {
        std::string preferred, executable;
        Paths loadable, broken, loads;
    } const cases[] = {
        {"", kJre + "\\java.exe", libraries(kJre, "jrockit"), {}, libraries(kJre, all)},
        {"server",
         kJre + "\\javaw.exe",
         libraries(kJre, "client server"),
         {},
         libraries(kJre, "server")},
        {std::string(250, 'v'),
         kJre + "\\javaw.exe",
         libraries(kJre, cut),
         {},
         libraries(kJre, cut)},
        {"", jdk + "\\java.exe", libraries(jdkRuntime, "client"), libraries(jdk, "server"),
         libraries(jdkRuntime, "hotspot client", libraries(jdk, all))},
        {"server",
         kJre + "\\javaw.exe",
         {},
         libraries(kJre, "client"),
         libraries(kJre + "\\..\\jre\\bin", "server" + all, libraries(kJre, "server" + all))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RuntimeMachine m;
        m.setConfig(config::key::kPreferredVmType, c.preferred);
        for (const std::string& path : c.loadable)
            addLibrary(m, path);
        for (const std::string& path : c.broken)
            addLibrary(m, path, 193);
        EXPECT_EQ(loadJvmDll(m.ctx, c.executable) != nullptr, !c.loadable.empty());
        EXPECT_EQ(m.fake.programs.loads, c.loads);
        // PATH keeps naming the bin directory of a library that loaded, else is restored.
        EXPECT_EQ(m.fake.environment.variables["PATH"] == "C:\\Windows", c.loadable.empty());
    }
}

TEST(VmLibrary, LogsEachAttemptAndWhyALibraryOnDiskFailed) {
    RuntimeMachine m;
    addLibrary(m, kJre + "\\hotspot\\jvm.dll", 193);                // of the other width
    addLibrary(m, kJre + "\\server\\jvm.dll", 0, /*onDisk=*/false); // the loader knows better
    EXPECT_NE(loadJvmDll(m.ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_THAT(m.logText(),
                testing::HasSubstr("\nTrying to load JVM-DLL from c:\\jre\\bin\\javaw.exe\n"
                                   "Setting PATH C:\\Windows;c:\\jre\\bin\n"
                                   "Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 1)\n"
                                   "Failed with error code 193\n"
                                   "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)\n"
                                   "Trying c:\\jre\\bin\\server\\jvm.dll (exists 0)\n"));
    EXPECT_EQ(m.fake.environment.runtimeAssignments, Paths{"PATH=C:\\Windows;c:\\jre\\bin"});
}

TEST(VmLibrary, LoadDllWithoutARuntimeSaysSoWithTheLaunchersWidth) {
    RuntimeMachine m;
    EXPECT_FALSE(LoadDLL(m.ctx));
    EXPECT_EQ(m.logged("LoadDLL "), Paths{"(1, (null), 0)"});
    EXPECT_EQ(m.logged("ERROR: "), Paths{"No JVM found"});
    EXPECT_EQ(m.box(), u"No 64-bit JVM" + test::widen(kLogName));
    EXPECT_EQ(m.ctx.jvmHome, "");
}

TEST(VmLibrary, LoadDllKeepsTheLibraryItsEntryPointAndTheRuntimesHome) {
    RuntimeMachine m;
    m.setConfig(config::key::kSearchSequence, "Bc:\\app\\jre");
    m.fake.files.addFile("c:\\app\\jre\\bin\\java.exe", "MZ");
    addLibrary(m, "c:\\app\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(LoadDLL(m.ctx));
    EXPECT_EQ(m.ctx.jvmHome, "c:\\app\\jre\\bin\\..");
    ASSERT_NE(m.ctx.vmLibrary, nullptr);
    EXPECT_EQ(m.ctx.createJavaVm, m.ctx.vmLibrary->symbol("JNI_CreateJavaVM"));
    EXPECT_NE(m.ctx.createJavaVm, nullptr);
    EXPECT_EQ(m.logged("Loading of JVM-DLL "), Paths{"successful"});
    EXPECT_EQ(m.box(), u"");
}

// The search accepts c:\jre, whose library fails to load or lacks the entry point.
TEST(VmLibrary, AnUnusableRuntimeIsNamedAsPreciselyAsItsSourceAllows) {
    struct Case {
        std::string sequence, variable, value, applicationId, message;
    } const cases[] = {
        {"S", "", "", "", "No 64-bit JVM"},
        {"EMY_JAVA", "MY_JAVA", "c:/jre", "", "env MY_JAVA"},
        {"", "KESTROWAN_JAVA_HOME", "c:\\jre", "", "env KESTROWAN_JAVA_HOME"},
        {"A${RT}", "RT", "c:\\jre", "", "dir c:\\jre"},
        {"", "", "", "app", "VM failed {0}"}, // a previous installation; shown wide
    };
    for (const Case& c : cases) {
        for (bool loads : {false, true}) {
            SCOPED_TRACE(c.message + (loads ? ", loads" : ""));
            RuntimeMachine m;
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
            Paths errors = {"Could not get DLL-Handle.", "Could not load functions"};
            EXPECT_EQ(m.logged("ERROR: "), loads ? Paths{errors[1]} : errors);
            EXPECT_EQ(m.box(), test::widen(c.message + kLogName));
            EXPECT_EQ(m.fake.ui.boxes.back().wide, !c.applicationId.empty());
            EXPECT_EQ(m.ctx.jvmHome, "c:\\jre\\bin\\..");
            EXPECT_EQ(m.ctx.createJavaVm, nullptr);
            EXPECT_EQ(m.ctx.vmLibrary, nullptr);
        }
    }
}

} // namespace
} // namespace kwn::jvm
