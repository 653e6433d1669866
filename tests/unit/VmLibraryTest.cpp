#include "jvm/VmLibrary.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "launcher/LauncherWidth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::u16string kLogFile = u"C:\\Logs\\kwn_nlog_1";
const std::string kOldPath = "C:\\Windows\\system32;C:\\Windows";
const std::string kTemp = "C:\\Users\\a\\AppData\\Local\\Temp\\";
constexpr std::uint32_t kOtherWidth = 193; // ERROR_BAD_EXE_FORMAT

std::vector<std::string> libraries(const std::string& binDirectory,
                                   std::initializer_list<const char*> vmTypes) {
    std::vector<std::string> paths;
    for (const char* vmType : vmTypes)
        paths.push_back(binDirectory + "\\" + vmType + "\\jvm.dll");
    return paths;
}

std::vector<std::string> concat(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Public, so that the tables of cases can arrange a machine.
class VmLibraryTest : public testing::Test {
public:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\tool.exe";
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.environment.variables["PATH"] = kOldPath;
        fake.files.addDirectory("C:\\Logs");
        fake.files.addDirectory(kTemp);
        ctx.log.setForced(true);
    }

    // A VM library that loads; on disk too unless told otherwise.
    void addLibrary(const std::string& path, bool onDisk = true,
                    std::set<std::string> exports = {"JNI_CreateJavaVM"}) {
        fake.programs.libraries[path] = {std::move(exports), 0};
        if (onDisk)
            fake.files.addFile(path, "MZ");
    }
    // A VM library that is there but does not load in this process.
    void addBrokenLibrary(const std::string& path, std::uint32_t error = kOtherWidth) {
        fake.programs.libraries[path] = {{"JNI_CreateJavaVM"}, error};
        fake.files.addFile(path, "MZ");
    }

    // The lines written after the log's header.
    std::vector<std::string> logLines() const {
        std::string text = fake.files.text(kLogFile);
        size_t body = text.find("\n\n");
        std::vector<std::string> lines;
        for (size_t start = body == std::string::npos ? text.size() : body + 2;
             start < text.size();) {
            size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    std::string logText() const { return fake.files.text(kLogFile); }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

// --- loadJvmDll ------------------------------------------------------------------------------

struct OrderCase {
    const char* name;
    std::optional<std::string> preferredVmType; // key 152
    std::string executable;
    std::vector<std::string> loadable;
    std::vector<std::string> broken; // on disk, but fail to load
    std::vector<std::string> expectedLoads;
    bool loads;
};

class LibraryOrderTest : public VmLibraryTest, public testing::WithParamInterface<OrderCase> {};

TEST_P(LibraryOrderTest, TriesTheVmTypesInTheirOrder) {
    const OrderCase& c = GetParam();
    if (c.preferredVmType)
        ctx.config.setNarrow(152, *c.preferredVmType);
    for (const std::string& path : c.loadable)
        addLibrary(path);
    for (const std::string& path : c.broken)
        addBrokenLibrary(path);
    std::unique_ptr<platform::Library> library = loadJvmDll(ctx, c.executable);
    EXPECT_EQ(library != nullptr, c.loads);
    EXPECT_THAT(fake.programs.loads, ElementsAreArray(c.expectedLoads));
}

const std::string kJre = "c:\\jre\\bin";
const std::string kJdk = "c:\\jdk\\bin";
const std::string kJdkRuntime = "c:\\jdk\\bin\\..\\jre\\bin";
const std::string kLongType(250, 'v');

INSTANTIATE_TEST_SUITE_P(
    Candidates, LibraryOrderTest,
    testing::Values(
        OrderCase{"FirstThatLoadsWins",
                  std::nullopt,
                  "c:\\jre\\bin\\javaw.exe",
                  {kJre + "\\server\\jvm.dll", kJre + "\\classic\\jvm.dll"},
                  {},
                  libraries(kJre, {"hotspot", "client", "server"}),
                  true},
        OrderCase{"JavaExeNamesTheSameBinDirectory",
                  std::nullopt,
                  "c:\\jre\\bin\\java.exe",
                  {kJre + "\\jrockit\\jvm.dll"},
                  {},
                  libraries(kJre, {"hotspot", "client", "server", "classic", "jrockit"}),
                  true},
        OrderCase{"PreferredTypeFirst",
                  "server",
                  "c:\\jre\\bin\\javaw.exe",
                  {kJre + "\\client\\jvm.dll", kJre + "\\server\\jvm.dll"},
                  {},
                  libraries(kJre, {"server"}),
                  true},
        OrderCase{"PreferredTypeAgainInItsPlace",
                  "server",
                  "c:\\jre\\bin\\javaw.exe",
                  {kJre + "\\classic\\jvm.dll"},
                  {kJre + "\\server\\jvm.dll"},
                  libraries(kJre, {"server", "hotspot", "client", "server", "classic"}),
                  true},
        OrderCase{"PreferredTypeIsCutTo199Characters",
                  kLongType,
                  "c:\\jre\\bin\\javaw.exe",
                  {kJre + "\\" + kLongType.substr(0, 199) + "\\jvm.dll"},
                  {},
                  {kJre + "\\" + kLongType.substr(0, 199) + "\\jvm.dll"},
                  true},
        OrderCase{"JdkReachesItsOwnRuntime",
                  std::nullopt,
                  "c:\\jdk\\bin\\java.exe",
                  {kJdkRuntime + "\\client\\jvm.dll"},
                  {kJdk + "\\server\\jvm.dll"},
                  concat(libraries(kJdk, {"hotspot", "client", "server", "classic", "jrockit"}),
                         libraries(kJdkRuntime, {"hotspot", "client"})),
                  true},
        OrderCase{
            "NothingLoads",
            "server",
            "c:\\jre\\bin\\javaw.exe",
            {},
            {kJre + "\\client\\jvm.dll"},
            concat(libraries(kJre, {"server", "hotspot", "client", "server", "classic", "jrockit"}),
                   libraries("c:\\jre\\bin\\..\\jre\\bin",
                             {"server", "hotspot", "client", "server", "classic", "jrockit"})),
            false}),
    [](const auto& info) { return info.param.name; });

TEST_F(VmLibraryTest, LogsEachAttemptAndWhyAnExistingLibraryFailed) {
    addBrokenLibrary(kJre + "\\hotspot\\jvm.dll");
    addLibrary(kJre + "\\client\\jvm.dll", /*onDisk=*/false); // the loader may know better
    std::unique_ptr<platform::Library> library = loadJvmDll(ctx, "c:\\jre\\bin\\javaw.exe");
    EXPECT_NE(library, nullptr);
    EXPECT_THAT(logLines(), ElementsAre("Trying to load JVM-DLL from c:\\jre\\bin\\javaw.exe",
                                        "Setting PATH " + kOldPath + ";c:\\jre\\bin",
                                        "Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 1)",
                                        "Failed with error code 193",
                                        "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)"));
}

TEST_F(VmLibraryTest, MissingLibraryIsNotCalledAFailure) {
    addLibrary(kJre + "\\server\\jvm.dll");
    loadJvmDll(ctx, "c:\\jre\\bin\\javaw.exe");
    EXPECT_THAT(logText(), HasSubstr("\nTrying c:\\jre\\bin\\hotspot\\jvm.dll (exists 0)\n"
                                     "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)\n"
                                     "Trying c:\\jre\\bin\\server\\jvm.dll (exists 1)\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("Failed with error code")));
}

TEST_F(VmLibraryTest, PathKeepsTheBinDirectoryOfTheLibraryThatLoaded) {
    addLibrary(kJdkRuntime + "\\hotspot\\jvm.dll");
    ASSERT_NE(loadJvmDll(ctx, "c:\\jdk\\bin\\java.exe"), nullptr);
    EXPECT_EQ(fake.environment.variables["PATH"], kOldPath + ";" + kJdkRuntime);
    EXPECT_THAT(fake.environment.runtimeAssignments,
                ElementsAre("PATH=" + kOldPath + ";" + kJdk, "PATH=" + kOldPath,
                            "PATH=" + kOldPath + ";" + kJdkRuntime));
}

TEST_F(VmLibraryTest, PathIsExactlyRestoredWhenNothingLoads) {
    const std::string longPath = kOldPath + ";" + std::string(13000, 'p') + ";;";
    fake.environment.variables["PATH"] = longPath;
    EXPECT_EQ(loadJvmDll(ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_EQ(fake.environment.variables["PATH"], longPath);
    ASSERT_EQ(fake.environment.runtimeAssignments.size(), 4u);
    EXPECT_EQ(fake.environment.runtimeAssignments[1], "PATH=" + longPath);
    EXPECT_EQ(fake.environment.runtimeAssignments[3], "PATH=" + longPath);
    EXPECT_THAT(logText(), HasSubstr("\nSetting PATH " + longPath + "\n"));
}

TEST_F(VmLibraryTest, PathThatCannotBeSetIsLoggedAndTheAttemptGoesOn) {
    fake.environment.setError = 8; // ERROR_NOT_ENOUGH_MEMORY
    addLibrary(kJre + "\\hotspot\\jvm.dll");
    EXPECT_NE(loadJvmDll(ctx, "c:\\jre\\bin\\javaw.exe"), nullptr);
    EXPECT_THAT(logText(),
                HasSubstr("\nSetting PATH " + kOldPath + ";c:\\jre\\bin failed with error 8\n"));
    EXPECT_THAT(fake.environment.runtimeAssignments,
                ElementsAre("PATH=" + kOldPath + ";c:\\jre\\bin"));
}

// --- LoadDLL, through the real search ---------------------------------------------------------

const char kNoJvm[] = "No {0}-bit JVM";

class LoadDllTest : public VmLibraryTest {
public:
    void SetUp() override {
        VmLibraryTest::SetUp();
        ctx.config.setNarrow(1000, "Error");
        ctx.config.setNarrow(1005, "The JVM could not be started {0}");
        ctx.config.setNarrow(1016, kNoJvm);
        ctx.config.setNarrow(1017, "env32 {0}");
        ctx.config.setNarrow(1018, "env64 {0}");
        ctx.config.setNarrow(1019, "dir32 {0}");
        ctx.config.setNarrow(1020, "dir64 {0}");
    }
    // A runtime whose java.exe answers the version probe.
    void addRuntime(const std::string& home) {
        const std::string java = home + "\\bin\\java.exe";
        fake.files.addFile(java, "MZ");
        fake.programs.children[java + " -version"].errorOutput = "java version \"1.8.0_202\"\n";
    }
    std::u16string message(config::Key key, const std::string& argument) {
        std::string text = ctx.config.getString(key);
        return test::widen(text.replace(text.find("{0}"), 3, argument));
    }
};

TEST_F(LoadDllTest, NoRuntimeFoundSaysSoWithTheLaunchersWidth) {
    EXPECT_FALSE(LoadDLL(ctx));
    std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "LoadDLL (1, (null), 0)");
    EXPECT_EQ(lines.back(), "ERROR: No JVM found");
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text,
              message(1016, launcher::launcherWidth().bits) + u"\n\nLog: " + kLogFile);
    EXPECT_FALSE(fake.ui.boxes[0].wide);
    EXPECT_EQ(ctx.jvmHome, "");
    EXPECT_EQ(fake.environment.variables["PATH"], kOldPath);
}

TEST_F(LoadDllTest, LoadedRuntimeGivesTheEntryPointAndItsHome) {
    ctx.config.setNarrow(128, "Bc:\\app\\jre");
    fake.files.addFile("c:\\app\\jre\\bin\\java.exe", "MZ");
    addLibrary("c:\\app\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(LoadDLL(ctx));
    EXPECT_EQ(ctx.jvmHome, "c:\\app\\jre\\bin\\..");
    ASSERT_NE(ctx.vmLibrary, nullptr);
    EXPECT_EQ(ctx.createJavaVm, ctx.vmLibrary->symbol("JNI_CreateJavaVM"));
    EXPECT_NE(ctx.createJavaVm, nullptr);
    EXPECT_EQ(logLines().back(), "Loading of JVM-DLL successful");
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
    EXPECT_EQ(fake.environment.variables["PATH"], kOldPath + ";c:\\app\\jre\\bin");
}

struct BrokenCase {
    const char* name;
    std::function<void(LoadDllTest&)> arrange; // makes the search accept c:\jre
    config::Key key;
    std::optional<std::string> argument; // nullopt: the message as configured
};

class UnusableRuntimeTest : public LoadDllTest, public testing::WithParamInterface<BrokenCase> {
protected:
    void expectMessageFor(const BrokenCase& c) {
        ASSERT_EQ(fake.ui.boxes.size(), 1u);
        const auto& box = fake.ui.boxes[0];
        std::u16string text =
            c.argument ? message(c.key, *c.argument) : test::widen(ctx.config.getString(c.key));
        EXPECT_EQ(box.text, text + u"\n\nLog: " + kLogFile);
        EXPECT_EQ(box.wide, c.key == 1005);
    }
};

// The search offers an accepted runtime whose library does not load in any directory.
TEST_P(UnusableRuntimeTest, MessageNamesWhereTheRuntimeWasFound) {
    const BrokenCase& c = GetParam();
    c.arrange(*this);
    addBrokenLibrary("c:\\jre\\bin\\hotspot\\jvm.dll");
    EXPECT_FALSE(LoadDLL(ctx));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: Could not get DLL-Handle.\n"
                                     "ERROR: Could not load functions\n"));
    expectMessageFor(c);
    EXPECT_EQ(ctx.jvmHome, "c:\\jre\\bin\\..");
    EXPECT_EQ(ctx.createJavaVm, nullptr);
    EXPECT_EQ(fake.environment.variables["PATH"], kOldPath);
}

// A library that loads but is no VM: only the entry point is missing.
TEST_P(UnusableRuntimeTest, LibraryWithoutTheEntryPoint) {
    const BrokenCase& c = GetParam();
    c.arrange(*this);
    addLibrary("c:\\jre\\bin\\server\\jvm.dll", true, {"JNI_GetDefaultJavaVMInitArgs"});
    EXPECT_FALSE(LoadDLL(ctx));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: Could not load functions\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("Could not get DLL-Handle.")));
    expectMessageFor(c);
    EXPECT_EQ(ctx.createJavaVm, nullptr);
    EXPECT_EQ(ctx.vmLibrary, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    LocationTypes, UnusableRuntimeTest,
    testing::Values(
        BrokenCase{"SearchPath",
                   [](LoadDllTest& t) {
                       t.ctx.config.setNarrow(128, "S");
                       t.addRuntime("c:\\jre");
                       t.fake.programs.searchResults["java.exe"] = "c:\\jre\\bin\\java.exe";
                   },
                   1016, launcher::launcherWidth().bits},
        BrokenCase{"Variable",
                   [](LoadDllTest& t) {
                       t.ctx.config.setNarrow(128, "EMY_JAVA");
                       t.addRuntime("c:\\jre");
                       t.fake.environment.variables["MY_JAVA"] = "c:/jre";
                   },
                   launcher::launcherWidth().brokenEnvironmentRuntime, "MY_JAVA"},
        BrokenCase{"OverrideVariable",
                   [](LoadDllTest& t) {
                       t.addRuntime("c:\\jre");
                       t.fake.environment.variables["KESTROWAN_JAVA_HOME"] = "c:\\jre";
                   },
                   launcher::launcherWidth().brokenEnvironmentRuntime, "KESTROWAN_JAVA_HOME"},
        BrokenCase{"Directory",
                   [](LoadDllTest& t) {
                       t.ctx.config.setNarrow(128, "Ac:\\jre");
                       t.addRuntime("c:\\jre");
                   },
                   launcher::launcherWidth().brokenDirectoryRuntime, "c:\\jre"},
        BrokenCase{"Registry",
                   [](LoadDllTest& t) {
                       t.ctx.config.setNarrow(160, "app");
                       t.addRuntime("c:\\jre");
                       t.fake.registry.setString(RegistryRoot::CurrentUser,
                                                 "SOFTWARE\\corvane-systems\\kestrowan\\"
                                                 "installations",
                                                 "app", "c:");
                   },
                   1005, std::nullopt}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kwn::jvm
