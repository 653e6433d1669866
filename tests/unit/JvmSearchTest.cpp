// The runtime search over a fake machine: probing a candidate's executable, the sources the
// search consults, loading the VM library, and unpacking a packed runtime on the way.
#include "jvm/JvmSearch.h"
#include "fake/LoggedLaunchTest.h"
#include "files/PackedRuntime.h"
#include "jvm/JavaExecutable.h"
#include "jvm/LocatedJvms.h"
#include "jvm/ProbeCache.h"
#include "jvm/VmLibrary.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace kwn::jvm {
namespace {

using namespace config::key;
using platform::RegistryRoot;
using platform::RegistryView;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using Paths = std::vector<std::string>;

inline std::string banner(const std::string& version) {
    return "java version \"" + version + "\"\nJava(TM) SE Runtime Environment\n";
}

// Not copyable: the context refers to the fakes. Tables build one machine per case.
struct RuntimeMachine : test::LoggedLaunch {
    RuntimeMachine() : LoggedLaunch(u"c:\\apps\\tool\\run.exe") {
        fake.environment.variables["PATH"] = "C:\\Windows";
        fake.files.addDirectory(test::narrow(fake.files.systemTempPath));
        // The messages with their argument visible.
        for (auto [key, text] : {std::pair<config::Key, const char*>{1005, "VM failed {0}"},
                                 {1009, "Internal error {0}"},
                                 {1016, "No {0}-bit JVM"},
                                 {1018, "env {0}"},
                                 {1020, "dir {0}"}})
            ctx.config.setNarrow(key, text);
        ctx.config.setNarrow(kMinJavaVersion, "1.7");
    }

    // A home whose "bin\java.exe" prints the banner of version; a loadable one also has a VM
    // library in "bin\hotspot".
    void addRuntime(const std::string& home, const std::string& version, bool loadable = true) {
        std::string executable = home + "\\bin\\java.exe";
        fake.files.addFile(executable, "MZ");
        fake.programs.children[executable + " -version"] = {banner(version), 0, false, nullptr};
        if (loadable)
            fake.programs.libraries[home + "\\bin\\hotspot\\jvm.dll"] = {{"JNI_CreateJavaVM"}, 0};
    }
    void setConfig(config::Key key, const std::string& value) { ctx.config.setNarrow(key, value); }

    // The lines that begin with prefix, without it.
    std::vector<std::string> logged(const std::string& prefix) const {
        std::istringstream text(logText());
        std::vector<std::string> found;
        for (std::string line; std::getline(text, line);)
            if (line.starts_with(prefix))
                found.push_back(line.substr(prefix.size()));
        return found;
    }
    // Each executable checked, each load attempt ("load c:\x\...") and the end of the
    // configured sources ("finished"), in the order they happened.
    std::vector<std::string> attempts() const {
        const std::string check = "checkJavaExe (", load = "Trying to load JVM-DLL from ";
        std::istringstream text(logText());
        std::vector<std::string> found;
        for (std::string line; std::getline(text, line);) {
            if (line.starts_with(check))
                found.push_back(line.substr(check.size(), line.find(", [out]") - check.size()));
            else if (line.starts_with(load))
                found.push_back("load " + line.substr(load.size()));
            else if (line == "Search sequence finished")
                found.push_back("finished");
        }
        return found;
    }
    // The last message box's text; "" when none was shown.
    std::u16string box() const { return fake.ui.boxes.empty() ? u"" : fake.ui.boxes.back().text; }
};

// --- the probe of a candidate ----------------------------------------------------------------

const std::string kJava = "c:\\jre\\bin\\java.exe";
const std::string kProbe = kJava + " -version";
const std::string kOutput = "C:\\Users\\a\\AppData\\Local\\Temp\\qvo1A2B.tmp";
const std::string kCacheKey = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe";
constexpr std::uint64_t kStamp = 0x01D2C3B4A5968778;

// c:\jre\bin\java.exe, whose probe prints output on standard error.
struct Probe : RuntimeMachine {
    explicit Probe(const std::string& output, std::uint32_t exitCode = 0, bool hangs = false) {
        fake.files.addFile(kJava, "MZ");
        fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp;
        fake.programs.children[kProbe] = {output, exitCode, hangs, nullptr};
    }
    bool check(const std::string& minimum = "1.7") {
        path = kJava;
        return checkJavaExe(ctx, path, version, {minimum, ""}, false);
    }
    std::string cached() const {
        auto value = fake.registry.value(RegistryRoot::CurrentUser, kCacheKey, "Version");
        return value ? std::string(value->data.begin(), value->data.end()) : "none";
    }
    std::string path, version;
};

// The banner is at most the fourth line, behind notices of options variables; its version is
// the text behind the opening quote but the last two characters, from at most 99 of the line.
TEST(JavaExecutable, ProbeRunsHiddenAndItsOutcomeIsCachedUnlessItHung) {
    const std::string notices = "Picked up JDK_JAVA_OPTIONS: --add-opens=" + std::string(300, 'x') +
                                "\nPicked up JAVA_TOOL_OPTIONS: -Xss2m\n"
                                "Picked up _JAVA_OPTIONS: -Xmx1g\n";
    const std::string none = "none", failed = "1.0.0", longest(83, '9');
    struct Case {
        std::string output;
        std::uint32_t exitCode;
        bool hangs;
        std::string version, cached, logged;
    } const cases[] = {
        {banner("1.8.0_20"), 0, false, "1.8.0_20", "1.8.0_20",
         "\ntempFile is " + kOutput +
             "\nExit Code 0\nJava version: 1.8.0_20\n"
             "got version from execution 1.8.0_20\ncheckJavaExe returning 1\n"},
        {banner("1.8.0_20"), 1, false, "", failed, "\nExit Code 1\ncouldn't get version"},
        {banner("1.8.0_20"), 0, true, "", none, "\nExit Code 259\nTerminating process\ncouldn't"},
        {notices + "openjdk version \"17.0.2\" 2022-01-18\n", 0, false, "17.0.2\" 2022-01-1",
         "17.0.2\" 2022-01-1", "Java version: 17"},
        {"Picked up X: y\n" + banner("1.8.0_20"), 0, false, "", none, "couldn't get"},
        {"java version \"" + std::string(120, '9') + "\"\n", 0, false, longest, longest, "Java"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.substr(0, 30));
        Probe p(c.output, c.exitCode, c.hangs);
        // The console host holds the output file a little while after the probe has ended.
        p.fake.files.deleteErrors[test::widen(kOutput)] = 32;
        p.fake.system.onSleep = [&p] { p.fake.files.deleteErrors.clear(); };
        EXPECT_EQ(p.check(), !c.version.empty());
        EXPECT_EQ(p.version, c.version);
        EXPECT_EQ(p.cached(), c.cached);
        EXPECT_THAT(p.logText(), HasSubstr(c.logged));
        EXPECT_THAT(p.fake.programs.waits, ElementsAre(60000u));
        EXPECT_EQ(p.fake.programs.terminations.size(), c.hangs ? 1u : 0u);
        EXPECT_FALSE(p.fake.files.hasFile(kOutput));
        EXPECT_EQ(p.fake.system.calls, Paths{"sleep 10"});
    }
}

TEST(JavaExecutable, TheCacheSparesProbingAnUnchangedExecutable) {
    Probe p(banner("1.7.0_21"));
    EXPECT_FALSE(p.check("1.8")); // a rejected version is cached all the same
    EXPECT_TRUE(p.check());
    EXPECT_THAT(p.logged("got version from registry "), ElementsAre("1.7.0_21"));
    EXPECT_EQ(p.fake.programs.starts.size(), 1u);

    p.fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp + 1;
    p.fake.programs.children[kProbe].errorOutput = banner("1.8.0_05");
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.cached(), "1.8.0_05");
    ProbeCache(p.fake.registry).write(kJava, kStamp + 1, "1.0.0"); // an earlier probe failed
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.fake.programs.starts.size(), 3u);
}

// Only an accepted candidate of a windowed launcher (type 1) moves to javaw.exe, which must exist.
TEST(JavaExecutable, WindowedLauncherSwitchesToJavaw) {
    const std::string javaw = "c:\\jre\\bin\\javaw.exe";
    for (auto [type, javawExists, version, accepted, path] :
         {std::tuple{"1", false, "1.8.0_20", false, javaw}, {"2", true, "1.8.0_20", true, kJava}}) {
        SCOPED_TRACE(std::string(type) + version);
        Probe p(banner(version));
        p.setConfig(kLauncherType, type);
        if (javawExists)
            p.fake.files.addFile(javaw, "MZ");
        EXPECT_EQ(p.check(), accepted);
        EXPECT_EQ(p.path, path);
    }
}

// --- the sources of the search ----------------------------------------------------------------

std::string javaIn(const std::string& home) {
    return home + "\\bin\\java.exe";
}

// Recorded by other software as the executable's path with "/" for "\".
void addLocated(RuntimeMachine& m, RegistryRoot root, std::string executable) {
    std::replace(executable.begin(), executable.end(), '\\', '/');
    m.fake.registry.addKey(root, "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms\\" + executable);
}

TEST(JvmSearch, TheFallbackPassRetriesBundledAndRelativeDirectoriesOnly) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence,
                ";;Ac:\\rt\\a;Arel\\a;A\\\\srv\\rt;Ac:rt;A\\rt;Ax;Ar\\a;Bc:\\rt\\b;"
                "B.\\jre;Rc:\\rt\\r;Rrel\\r;EJAVA_HOME;S;Y;Zrel\\z;");
    EXPECT_EQ(searchJvm(m.ctx).type, LocationType::None);
    EXPECT_THAT(m.logged("Testing relative location "),
                ElementsAre("rel\\a", "\\rt", "x", "r\\a", "c:\\rt\\b", ".\\jre", "rel\\r"));
}

// Location files name a directory, whose pre-releases are welcome. The line buffer keeps 5,999
// characters: the cut-off "y" would name another directory.
TEST(JvmSearch, LocationFilesNameADirectoryByTheirFirstLine) {
    std::string cut = "c:\\rt\\x";
    while (cut.size() < 5999)
        cut += "\\.";
    for (auto [file, text, home, name] :
         {std::tuple{"Inst\\.kestrowan\\pref_jre.cfg", std::string("jre2\nc:\\rt\\o\n"),
                     "c:\\apps\\tool\\jre2", std::string("jre2")},
          {".kestrowan\\pref_jre.cfg", cut + "y\n", "c:\\rt\\x", cut},
          {".kestrowan\\inst_jre.cfg", "c:\\rt\\x", "c:\\rt\\x", "c:\\rt\\x"}}) {
        SCOPED_TRACE(file);
        RuntimeMachine m;
        m.setConfig(kInstallationDirectory, file[0] == 'I' ? "Inst" : ".");
        m.fake.files.addFile(std::string("c:\\apps\\tool\\") + file, text);
        m.addRuntime(home, "1.8.0-ea");
        SearchResult result = searchJvm(m.ctx);
        EXPECT_NE(result.library, nullptr);
        EXPECT_EQ(result.type, LocationType::Directory);
        EXPECT_EQ(result.locationName, name);
    }
}

TEST(JvmSearch, RegistrySearchPrefersTheHigherVersionATieGoesToTheLocatedRuntime) {
    for (auto [sun, located, chosen] : {std::tuple{"1.8.0_20", "1.8.0_20", "c:\\rt\\located"},
                                        {"1.8.0_20", "1.8.0_05", "c:\\rt\\sun"},
                                        {"1.7.0_80", "1.8.0_05", "c:\\rt\\located"}}) {
        SCOPED_TRACE(std::string(sun) + " / " + located);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        const std::string sunKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
        m.fake.registry.setString(RegistryRoot::LocalMachine, sunKey, "CurrentVersion", "1.8");
        m.fake.registry.setString(RegistryRoot::LocalMachine, sunKey + "\\1.8", "JavaHome",
                                  "c:\\rt\\sun");
        addLocated(m, RegistryRoot::LocalMachine, javaIn("c:\\rt\\located"));
        m.addRuntime("c:\\rt\\sun", sun);
        m.addRuntime("c:\\rt\\located", located);
        EXPECT_EQ(searchJvm(m.ctx).executable, javaIn(chosen));
        EXPECT_THAT(m.logged("found sun "), ElementsAre(javaIn("c:\\rt\\sun") + " " + sun));
    }
}

// Per root the highest acceptable version, pre-releases welcome, the first of equals staying;
// the user's runtime must be greater than the machine's. With only the application's own
// runtimes wanted, an entry must lie in a "kwn_jres" directory.
TEST(JvmSearch, LocatedRuntimesGiveTheHighestVersion) {
    using Entries = std::vector<std::pair<std::string, std::string>>; // home, version ("": gone)
    for (auto [user, machine, every, chosen] :
         {std::tuple{Entries{{"c:\\a", "1.7.0_21"}, {"c:\\b", "1.8.0_05"}, {"c:\\c", "1.8.0_05"}},
                     Entries{}, true, "c:\\b"},
          {Entries{{"c:\\u", "1.7.0_21"}}, Entries{{"c:\\m", "1.8.0_05"}}, true, "c:\\m"},
          {Entries{{"c:\\u", "1.8.0_05"}}, Entries{{"c:\\m", "1.8.0_05"}}, true, "c:\\m"},
          {Entries{{"c:\\u", "1.8.0_05"}}, Entries{{"c:\\m", "1.7.0_21"}}, true, "c:\\u"},
          {Entries{}, Entries{{"c:\\m", "1.7.0_21"}}, true, "c:\\m"},
          {Entries{{"c:\\kwn_jres\\a", "1.7.0_21"}, {"c:\\z", "1.8.0_05"}}, Entries{}, false,
           "c:\\kwn_jres\\a"}}) {
        SCOPED_TRACE(chosen);
        RuntimeMachine m;
        for (auto [root, entries] :
             {std::pair{RegistryRoot::CurrentUser, user}, {RegistryRoot::LocalMachine, machine}}) {
            for (const auto& [home, version] : entries) {
                addLocated(m, root, javaIn(home));
                if (!version.empty())
                    m.addRuntime(home, version);
            }
        }
        auto found = findLocatedJvms(m.ctx, {"1.7", ""}, every);
        EXPECT_EQ(found ? found->executable : "", *chosen ? javaIn(chosen) : "");
    }
}

// Entries that cannot be read are skipped, each run counted afresh; a run of 16 such ends the
// enumeration. Subkeys enumerate alphabetically: b10.. before c, c10.. before d.
TEST(JvmSearch, UnreadableRegistryEntriesAreSkipped) {
    for (auto [run, chosen] : {std::pair{15, "c:\\d"}, {16, ""}}) {
        RuntimeMachine m;
        auto addUnreadable = [&, run = run](const std::string& stem) {
            for (int i = 0; i < run; ++i) {
                std::string name = javaIn(stem + std::to_string(i + 10));
                addLocated(m, RegistryRoot::CurrentUser, name);
                std::replace(name.begin(), name.end(), '\\', '/');
                m.fake.registry.unreadable.insert(
                    "software\\corvane-systems\\qelvo\\locatedjvms\\" + name);
            }
        };
        addUnreadable("c:\\b");
        addLocated(m, RegistryRoot::CurrentUser, javaIn("c:\\c"));
        addUnreadable("c:\\c");
        addLocated(m, RegistryRoot::CurrentUser, javaIn("c:\\d"));
        m.addRuntime("c:\\c", "1.7.0_21");
        m.addRuntime("c:\\d", "1.8.0_05");
        auto found = findLocatedJvms(m.ctx, {"1.7", ""}, true);
        EXPECT_EQ(found ? found->executable : "", *chosen ? javaIn(chosen) : "");
    }
}

// --- the VM library -------------------------------------------------------------------------

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
    const std::string jdk = "c:\\jdk\\bin", jdkRuntime = jdk + "\\..\\jre\\bin",
                      javaw = kJre + "\\javaw.exe";
    struct Case {
        std::string preferred, executable;
        Paths loadable, broken, loads;
    } const cases[] = {
        {"", kJre + "\\java.exe", libraries(kJre, "jrockit"), {}, libraries(kJre, all)},
        {"server", javaw, libraries(kJre, "client server"), {}, libraries(kJre, "server")},
        {std::string(250, 'v'), javaw, libraries(kJre, cut), {}, libraries(kJre, cut)},
        {"", jdk + "\\java.exe", libraries(jdkRuntime, "client"), libraries(jdk, "server"),
         libraries(jdkRuntime, "hotspot client", libraries(jdk, all))},
        {"server",
         javaw,
         {},
         libraries(kJre, "client"),
         libraries(kJre + "\\..\\jre\\bin", "server" + all, libraries(kJre, "server" + all))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RuntimeMachine m;
        m.setConfig(kPreferredVmType, c.preferred);
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
    m.setConfig(kSearchSequence, "Bc:\\app\\jre");
    m.fake.files.addFile("c:\\app\\jre\\bin\\java.exe", "MZ");
    addLibrary(m, "c:\\app\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(LoadDLL(m.ctx));
    EXPECT_EQ(m.ctx.jvmHome, "c:\\app\\jre\\bin\\..");
    EXPECT_NE(m.ctx.vmLibrary, nullptr);
    EXPECT_NE(m.ctx.createJavaVm, nullptr);
    EXPECT_EQ(m.logged("Loading of JVM-DLL "), Paths{"successful"});
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
            m.setConfig(kSearchSequence, c.sequence);
            m.setConfig(kApplicationId, c.applicationId);
            m.fake.environment.variables[c.variable] = c.value;
            m.fake.programs.searchResults["java.exe"] = "c:\\jre\\bin\\java.exe";
            m.fake.registry.setString(RegistryRoot::CurrentUser,
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
            // The view flag as a number, then the root key's handle.
            if (!c.applicationId.empty()) {
                EXPECT_THAT(m.logged("checking app id "),
                            testing::Contains("app (0, " + std::string(2 * sizeof(void*) - 8, '0') +
                                              "80000001)"));
            }
        }
    }
}

// --- packed runtimes --------------------------------------------------------------------------

// Before a runtime is probed its packed archives are unpacked, lib first, then lib\ext; an
// archive already there is done, and blanks in the paths reach the tool inside quotes.
TEST(PackedRuntime, ArchivesAreUnpackedBeforeTheRuntimeIsProbed) {
    RuntimeMachine m;
    const std::string r = "c:\\apps\\tool\\my jre", tool = r + "\\bin\\unpack200.exe";
    m.setConfig(kSearchSequence, "B.\\my jre");
    m.addRuntime(r, "1.8.0_20");
    for (const char* file : {"\\lib\\charsets.jar.pack", "\\lib\\charsets.jar",
                             "\\lib\\rt.jar.pack", "\\lib\\ext\\a.jar.pack"})
        m.fake.files.addFile(r + file, "PK");
    m.fake.programs.children[tool] = {};
    EXPECT_NE(searchJvm(m.ctx).library, nullptr);
    EXPECT_EQ(m.fake.console.standardOutput, "Preparing JRE ...\n");
    std::vector<std::string> started;
    for (const auto& start : m.fake.programs.starts)
        started.push_back(start.program + "|" + start.commandLine);
    EXPECT_THAT(
        started,
        ElementsAre(tool + "|-r \"" + r + "\\lib\\rt.jar.pack\" \"" + r + "\\lib\\rt.jar\"",
                    tool + "|-r \"" + r + "\\lib\\ext\\a.jar.pack\" \"" + r + "\\lib\\ext\\a.jar\"",
                    "|" + r + "\\bin\\java.exe -version"));
    EXPECT_THAT(m.fake.programs.waits, ElementsAre(0xFFFFFFFF, 0xFFFFFFFF, 60000u));
    EXPECT_FALSE(m.fake.files.hasFile(r + "\\lib\\rt.jar.pack"));
    EXPECT_TRUE(m.fake.files.hasFile(r + "\\lib\\charsets.jar.pack"));
}

// Deleted whatever the tool did, so that no later start runs it on the same file again.
TEST(PackedRuntime, PackFileIsDeletedAndOnlyAFailureOtherThanGoneIsLogged) {
    for (auto [toolRemovesPack, error, logged] : {std::tuple{false, 0u, std::vector<std::string>{}},
                                                  {true, 0u, {}},
                                                  {false, 5u, {"(error 5)"}}}) {
        SCOPED_TRACE(error + toolRemovesPack);
        RuntimeMachine m;
        m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
        if (error)
            m.fake.files.deleteErrors[u"c:\\jre\\lib\\rt.jar.pack"] = error;
        auto& tool = m.fake.programs.children["c:\\jre\\bin\\unpack200.exe"];
        tool.exitCode = 1; // its outcome is not looked at
        if (toolRemovesPack)
            tool.effect = [&m] { m.fake.files.files.erase(u"c:\\jre\\lib\\rt.jar.pack"); };
        files::unpackRuntime(m.ctx, "c:\\jre");
        EXPECT_THAT(m.fake.files.deleteCalls, ElementsAre("c:\\jre\\lib\\rt.jar.pack"));
        EXPECT_EQ(m.logged("could not delete packed file "), logged);
    }
}

TEST(PackedRuntime, MissingToolIsInternalError20) {
    RuntimeMachine m;
    m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    EXPECT_EQ(test::exitCodeOf([&] { files::unpackRuntime(m.ctx, "c:\\jre"); }), 1);
    EXPECT_EQ(m.box(), u"Internal error 20\n\nLog: C:\\Logs\\kwn_nlog_1");
    EXPECT_TRUE(m.fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
}

// One version subkey of a JavaSoft key, and the runtime its "JavaHome" names (none when the
// version is empty).
struct JavaSoftEntry {
    std::string key, subkey, home, runtimeVersion;
    RegistryView view = RegistryView::Default;
};

const std::string kClassicJre = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::string kJdk = "SOFTWARE\\JavaSoft\\JDK";
const std::string kModernJre = "SOFTWARE\\JavaSoft\\JRE";

TEST(JvmSearch, JavaSoftKeysOfJava9AndLaterFollowTheClassicOnesByTheSameRules) {
    struct Case {
        const char* name;
        std::vector<JavaSoftEntry> entries;
        std::vector<std::pair<std::string, std::string>> currentVersions; // key, value
        std::string minimum;
        std::vector<std::string> checked; // homes, in order; the last one loads
    };
    // clang-format off
    const Case cases[] = {
        {"a machine with only a current JDK", {{kJdk, "17", "c:\\jdk17", "17.0.2"}}, {}, "1.7", {"c:\\jdk17"}},
        {"enumeration from the highest version down", {{kJdk, "9.0.4", "c:\\jdk9", "9.0.4"},
         {kJdk, "11.0.2", "c:\\gone11", ""}, {kJdk, "17", "c:\\gone17", ""}}, {}, "1.7",
         {"c:\\gone17", "c:\\gone11", "c:\\jdk9"}},
        {"the current version before higher ones", {{kJdk, "11.0.2", "c:\\jdk11", "11.0.2"},
         {kJdk, "17", "c:\\jdk17", "17.0.2"}}, {{kJdk, "11.0.2"}}, "1.7", {"c:\\jdk11"}},
        {"the higher current version of the pair, 11 above 9", {{kJdk, "11", "c:\\jdk11", "11.0.2"},
         {kModernJre, "9", "c:\\jre9", "9.0.4"}}, {{kJdk, "11"}, {kModernJre, "9"}}, "1.7", {"c:\\jdk11"}},
        {"runtimes before JDKs", {{kJdk, "21", "c:\\gone21", ""}, {kModernJre, "17", "c:\\jre17", "17.0.2"}},
         {}, "1.7", {"c:\\jre17"}},
        {"names below the minimum are never asked", {{kJdk, "9.0.4", "c:\\jdk9", "9.0.4"},
         {kJdk, "17", "c:\\jdk17", "17.0.2"}}, {{kJdk, "9.0.4"}}, "11", {"c:\\jdk17"}},
        {"the classic keys come first", {{kClassicJre, "1.8", "c:\\jre8", "1.8.0_292"},
         {kJdk, "17", "c:\\jdk17", "17.0.2"}}, {}, "1.7", {"c:\\jre8"}},
        {"and then the modern ones", {{kClassicJre, "1.8", "c:\\gone8", ""},
         {kJdk, "17", "c:\\jdk17", "17.0.2"}}, {}, "1.7", {"c:\\gone8", "c:\\jdk17"}},
        {"read in the process's own registry view only",
         {{kJdk, "17", "c:\\jdk17", "17.0.2", RegistryView::Registry32}}, {}, "1.7", {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kMinJavaVersion, c.minimum);
        for (const JavaSoftEntry& e : c.entries) {
            m.fake.registry.setString(RegistryRoot::LocalMachine, e.key + "\\" + e.subkey,
                                      "JavaHome", e.home, e.view);
            if (!e.runtimeVersion.empty())
                m.addRuntime(e.home, e.runtimeVersion);
        }
        for (const auto& [key, version] : c.currentVersions)
            m.fake.registry.setString(RegistryRoot::LocalMachine, key, "CurrentVersion", version);
        SearchResult result = searchJvm(m.ctx);
        std::vector<std::string> expected;
        for (const std::string& home : c.checked)
            expected.push_back(javaIn(home));
        // A load ends the search before its sources are exhausted.
        expected.push_back(expected.empty() ? "finished" : "load " + expected.back());
        EXPECT_THAT(m.attempts(), ElementsAreArray(expected));
        EXPECT_EQ(result.type, c.checked.empty() ? LocationType::None : LocationType::Registry);
    }
}

TEST(JavaExecutable, AJdkIsKnownByToolsOrForJava9AndLaterByItsCompiler) {
    struct Case {
        const char* name;
        std::vector<const char*> files; // below the home c:\jdk
        const char* version;            // of every java.exe there
        const char* minimum;
        bool jdkRequired;
        std::optional<std::string> accepted; // the executable
        bool probed;
    };
    const std::string modern = javaIn("c:\\jdk"), classic = javaIn("c:\\jdk\\jre");
    // clang-format off
    const Case cases[] = {
        {"1.8 JDK with tools", {"\\lib\\tools.jar", "\\jre\\bin\\java.exe", "\\bin\\javac.exe"},
         "1.8.0_292", "1.7", true, classic, true},
        {"17 JDK", {"\\bin\\java.exe", "\\bin\\javac.exe"}, "17.0.2", "1.7", true, modern, true},
        {"17 runtime without a compiler", {"\\bin\\java.exe"}, "17.0.2", "1.7", true, {}, false},
        {"a compiler beside a 1.8 runtime is no JDK without tools",
         {"\\bin\\java.exe", "\\bin\\javac.exe"}, "1.8.0_292", "1.7", true, {}, true},
        {"the configured minimum still counts", {"\\bin\\java.exe", "\\bin\\javac.exe"}, "17.0.2",
         "21", true, {}, true},
        {"no JDK required", {"\\bin\\java.exe", "\\bin\\javac.exe"}, "1.8.0_292", "1.7", false,
         modern, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "EJAVA_HOME");
        m.setConfig(kMinJavaVersion, c.minimum);
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        m.fake.environment.variables["JAVA_HOME"] = "c:\\jdk";
        for (const char* file : c.files) {
            std::string path = std::string("c:\\jdk") + file;
            if (path.ends_with("\\java.exe"))
                m.addRuntime(path.substr(0, path.size() - std::string("\\bin\\java.exe").size()),
                             c.version);
            else
                m.fake.files.addFile(path, "x");
        }
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.library != nullptr, c.accepted.has_value());
        if (c.accepted) {
            EXPECT_EQ(result.executable, *c.accepted);
        }
        EXPECT_EQ(m.fake.programs.starts.size(), c.probed ? 1u : 0u);
    }
}

} // namespace
} // namespace kwn::jvm
