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

#include <algorithm>
#include <sstream>

namespace kwn::jvm {
namespace {

using namespace config::key;
using platform::RegistryRoot;
using platform::RegistryView;
using testing::ElementsAre;
using testing::HasSubstr;
using Paths = std::vector<std::string>;

std::string banner(const std::string& version) {
    return "java version \"" + version + "\"\nJava(TM) SE Runtime Environment\n";
}

std::string javaIn(const std::string& home) {
    return home + "\\bin\\java.exe";
}

const std::string kLogName = "\n\nLog: C:\\Logs\\kwn_nlog_1";

// Not copyable: the context refers to the fakes. Tables build one machine per case.
struct RuntimeMachine : test::LoggedLaunch {
    RuntimeMachine() : LoggedLaunch(u"c:\\apps\\tool\\run.exe") {
        fake.environment.variables["PATH"] = "C:\\Windows";
        fake.files.addDirectory(test::narrow(fake.files.systemTempPath));
        // The messages with their argument visible.
        // clang-format off
        for (auto [key, text] : {std::pair<config::Key, const char*>{1005, "VM failed {0}"},
                 {1009, "Internal error {0}"}, {1016, "No {0}-bit JVM"}, {1018, "env {0}"}, {1020, "dir {0}"}})
            ctx.config.setNarrow(key, text);
        // clang-format on
        ctx.config.setNarrow(kMinJavaVersion, "1.7");
    }
    void set(config::Key key, const std::string& value) { ctx.config.setNarrow(key, value); }

    // A home whose "bin\java.exe" prints the banner of version; a loadable one also has a VM
    // library in "bin\hotspot".
    void addRuntime(const std::string& home, const std::string& version, bool loadable = true) {
        fake.files.addFile(javaIn(home), "MZ");
        fake.programs.children[javaIn(home) + " -version"] = {banner(version), 0, false, nullptr};
        if (loadable)
            addLibrary(home + "\\bin\\hotspot\\jvm.dll");
    }
    void addLibrary(const std::string& path, std::uint32_t error = 0, bool onDisk = true,
                    std::set<std::string> exports = {"JNI_CreateJavaVM"}) {
        fake.programs.libraries[path] = {std::move(exports), error};
        if (onDisk)
            fake.files.addFile(path, "MZ");
    }
    // Recorded by other software as the executable's path with "/" for "\".
    std::string addLocated(RegistryRoot root, const std::string& home) {
        std::string name = javaIn(home);
        std::replace(name.begin(), name.end(), '\\', '/');
        fake.registry.addKey(root, "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms\\" + name);
        return name;
    }

    // The lines that begin with prefix, without it.
    std::vector<std::string> logged(const std::string& prefix) const {
        std::istringstream text(logText());
        std::vector<std::string> found;
        for (std::string line; std::getline(text, line);)
            if (line.starts_with(prefix))
                found.push_back(line.substr(prefix.size()));
        return found;
    }
};

// --- the probe of a candidate ----------------------------------------------------------------

const std::string kJava = "c:\\jre\\bin\\java.exe", kProbe = kJava + " -version";
const std::string kOutput = "C:\\Users\\a\\AppData\\Local\\Temp\\qvo1A2B.tmp";
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
        auto value = fake.registry.value(
            RegistryRoot::CurrentUser,
            "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe", "Version");
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
    const std::string longest(83, '9');
    // clang-format off
    struct Case { std::string output; std::uint32_t exitCode; bool hangs; std::string version, cached, logged; };
    const Case cases[] = {
        {banner("1.8.0_20"), 0, false, "1.8.0_20", "1.8.0_20", "\ntempFile is " + kOutput + "\nExit Code 0\n"
         "Java version: 1.8.0_20\ngot version from execution 1.8.0_20\ncheckJavaExe returning 1\n"},
        {banner("1.8.0_20"), 1, false, "", "1.0.0", "\nExit Code 1\ncouldn't get version"},
        {banner("1.8.0_20"), 0, true, "", "none", "\nExit Code 259\nTerminating process\ncouldn't"},
        {notices + "openjdk version \"17.0.2\" 2022-01-18\n", 0, false, "17.0.2\" 2022-01-1", "17.0.2\" 2022-01-1", "Java version: 17"},
        {"Picked up X: y\n" + banner("1.8.0_20"), 0, false, "", "none", "couldn't get"},
        {"java version \"" + std::string(120, '9') + "\"\n", 0, false, longest, longest, "Java"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.substr(0, 30));
        Probe p(c.output, c.exitCode, c.hangs);
        // The console host holds the output file a little while after the probe has ended.
        p.fake.files.deleteErrors[test::widen(kOutput)] = 32;
        p.fake.system.onSleep = [&p] { p.fake.files.deleteErrors.clear(); };
        EXPECT_EQ(p.check(), !c.version.empty());
        EXPECT_EQ(p.cached(), c.cached);
        EXPECT_THAT(p.logText(), HasSubstr(c.logged));
        EXPECT_THAT(p.fake.programs.waits, ElementsAre(60000u));
        EXPECT_EQ(p.fake.programs.terminations.size(), c.hangs ? 1u : 0u);
        EXPECT_EQ(p.fake.system.calls, Paths{"sleep 10"});
    }
}

// The cache spares probing an unchanged executable, unless the probe failed. Only an accepted
// candidate of a windowed launcher (type 1) moves to javaw.exe, which must exist.
TEST(JavaExecutable, TheCacheSparesProbingAnUnchangedExecutableJavawIsLookedFor) {
    Probe p(banner("1.7.0_21"));
    EXPECT_FALSE(p.check("1.8")); // a rejected version is cached all the same
    EXPECT_TRUE(p.check());
    EXPECT_THAT(p.logged("got version from registry "), ElementsAre("1.7.0_21"));
    p.fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp + 1;
    p.fake.programs.children[kProbe].errorOutput = banner("1.8.0_05");
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.cached(), "1.8.0_05");
    ProbeCache(p.fake.registry).write(kJava, kStamp + 1, "1.0.0"); // an earlier probe failed
    EXPECT_TRUE(p.check());
    for (auto [type, accepted] : {std::pair{"2", true}, {"1", false}}) {
        p.set(kLauncherType, type);
        EXPECT_EQ(p.check(), accepted);
        EXPECT_EQ(p.path, accepted ? kJava : "c:\\jre\\bin\\javaw.exe");
    }
    p.fake.files.addFile("c:\\jre\\bin\\javaw.exe", "MZ");
    EXPECT_TRUE(p.check());
}

// --- the sources of the search ----------------------------------------------------------------

TEST(JvmSearch, TheFallbackPassRetriesBundledAndRelativeDirectoriesOnly) {
    RuntimeMachine m;
    m.set(kSearchSequence, ";;Ac:\\rt\\a;Arel\\a;A\\\\srv\\rt;Ac:rt;A\\rt;Ax;Ar\\a;Bc:\\rt\\b;"
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
        m.set(kInstallationDirectory, file[0] == 'I' ? "Inst" : ".");
        m.fake.files.addFile(std::string("c:\\apps\\tool\\") + file, text);
        m.addRuntime(home, "1.8.0-ea");
        EXPECT_EQ(searchJvm(m.ctx).locationName, name);
    }
}

// Per root the highest acceptable version, pre-releases welcome, the first of equals staying;
// the user's runtime must be greater than the machine's. With only the application's own
// runtimes wanted, an entry must lie in a "kwn_jres" directory. Entries that cannot be read are
// skipped, each run counted afresh; a run of 16 such ends the enumeration.
TEST(JvmSearch, LocatedRuntimesGiveTheHighestVersion) {
    using Entries = std::vector<std::pair<std::string, std::string>>; // home, version
    const std::string gone = "", unreadable = "?";
    // Runs of unreadable entries: b10.. sort before c, c10.. before d.
    auto withRuns = [&](int run) {
        Entries entries = {{"c:\\c", "1.7.0_21"}, {"c:\\d", "1.8.0_05"}};
        for (int i = 10; i < 10 + run; ++i)
            for (std::string stem : {"c:\\b", "c:\\c"})
                entries.push_back({stem + std::to_string(i), unreadable});
        return entries;
    };
    // clang-format off
    const std::tuple<Entries, Entries, bool, std::string> cases[] = { // user, machine, every, chosen
        {{{"c:\\a", "1.7.0_21"}, {"c:\\b", "1.8.0_05"}, {"c:\\c", "1.8.0_05"}, {"c:\\d", gone}}, {}, true, "c:\\b"},
        {{{"c:\\u", "1.7.0_21"}}, {{"c:\\m", "1.8.0_05"}}, true, "c:\\m"},
        {{{"c:\\u", "1.8.0_05"}}, {{"c:\\m", "1.8.0_05"}}, true, "c:\\m"},
        {{{"c:\\u", "1.8.0_05"}}, {{"c:\\m", "1.7.0_21"}}, true, "c:\\u"},
        {{}, {{"c:\\m", "1.7.0_21"}}, true, "c:\\m"},
        {{{"c:\\kwn_jres\\a", "1.7.0_21"}, {"c:\\z", "1.8.0_05"}}, {}, false, "c:\\kwn_jres\\a"},
        {withRuns(15), {}, true, "c:\\d"}, {withRuns(16), {}, true, ""},
    };
    // clang-format on
    for (const auto& [user, machine, every, chosen] : cases) {
        SCOPED_TRACE(chosen);
        RuntimeMachine m;
        for (auto [root, entries] :
             {std::pair{RegistryRoot::CurrentUser, user}, {RegistryRoot::LocalMachine, machine}}) {
            for (const auto& [home, version] : entries) {
                std::string name = m.addLocated(root, home);
                if (version == unreadable)
                    m.fake.registry.unreadable.insert(
                        "software\\corvane-systems\\qelvo\\locatedjvms\\" + name);
                else if (!version.empty())
                    m.addRuntime(home, version);
            }
        }
        auto found = findLocatedJvms(m.ctx, {"1.7", ""}, every);
        EXPECT_EQ(found ? found->executable : "", chosen.empty() ? "" : javaIn(chosen));
    }
}

// The registry's JavaSoft keys, the classic ones first; per key the current version before the
// installed versions, highest first, in the process's own view only. A located runtime wins over
// the JavaSoft one unless that one is higher.
TEST(JvmSearch, RegistryRuntimesAreSearchedByVersion) {
    const std::string classic = "SOFTWARE\\JavaSoft\\Java Runtime Environment",
                      jdk = "SOFTWARE\\JavaSoft\\JDK", jre = "SOFTWARE\\JavaSoft\\JRE";
    using Homes = std::vector<std::pair<std::string, std::string>>; // home, runtime version
    // clang-format off
    struct Entry { std::string key, subkey, home, runtimeVersion; RegistryView view = RegistryView::Default; };
    struct Case {
        std::vector<Entry> entries; std::vector<std::pair<std::string, std::string>> currentVersions; // key, value
        Paths checked; std::string loaded; Homes located = {}; // loaded: none when empty
    };
    const Case cases[] = {
        {{{jdk, "9.0.4", "c:\\jdk9", "9.0.4"}, {jdk, "11.0.2", "c:\\gone11", ""}, {jdk, "17", "c:\\gone17", ""}},
         {}, {"c:\\gone17", "c:\\gone11", "c:\\jdk9"}, "c:\\jdk9"},
        {{{jdk, "11.0.2", "c:\\jdk11", "11.0.2"}, {jdk, "17", "c:\\jdk17", "17.0.2"}}, {{jdk, "11.0.2"}}, {"c:\\jdk11"}, "c:\\jdk11"},
        {{{classic, "1.8", "c:\\gone8", ""}, {jdk, "17", "c:\\jdk17", "17.0.2"}}, {}, {"c:\\gone8", "c:\\jdk17"}, "c:\\jdk17"},
        {{{jdk, "17", "c:\\jdk17", "17.0.2", RegistryView::Registry32}}, {}, {}, ""},
        {{{classic, "1.8", "c:\\sun", "1.8.0_20"}}, {{classic, "1.8"}}, {"c:\\sun", "c:\\located"}, "c:\\located", {{"c:\\located", "1.8.0_20"}}},
        {{{classic, "1.8", "c:\\sun", "1.8.0_20"}}, {{classic, "1.8"}}, {"c:\\sun", "c:\\located"}, "c:\\sun", {{"c:\\located", "1.8.0_05"}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RuntimeMachine m;
        m.set(kSearchSequence, "Y");
        for (const Entry& e : c.entries) {
            m.fake.registry.setString(RegistryRoot::LocalMachine, e.key + "\\" + e.subkey,
                                      "JavaHome", e.home, e.view);
            if (!e.runtimeVersion.empty())
                m.addRuntime(e.home, e.runtimeVersion);
        }
        for (const auto& [key, version] : c.currentVersions)
            m.fake.registry.setString(RegistryRoot::LocalMachine, key, "CurrentVersion", version);
        for (const auto& [home, version] : c.located) {
            m.addLocated(RegistryRoot::LocalMachine, home);
            m.addRuntime(home, version);
        }
        searchJvm(m.ctx);
        Paths checked, expected;
        for (const std::string& line : m.logged("checkJavaExe ("))
            checked.push_back(line.substr(0, line.find(',')));
        for (const std::string& home : c.checked)
            expected.push_back(javaIn(home));
        EXPECT_EQ(checked, expected);
        // A load ends the search before its sources are exhausted.
        Paths loads = c.loaded.empty() ? Paths{} : Paths{javaIn(c.loaded)};
        EXPECT_EQ(m.logged("Trying to load JVM-DLL from "), loads);
        EXPECT_EQ(m.logged("Search sequence finished").size(), 1 - loads.size());
        EXPECT_EQ(m.logged("found sun ").size(), loads.size());
    }
}

// Without its tools a JDK of Java 9 or later is known by its compiler, and is then held to
// Java 9 or later and to the configured minimum.
TEST(JavaExecutable, AModernJdkIsKnownByItsCompiler) {
    const std::string modern = javaIn("c:\\jdk");
    // clang-format off
    // Files below the home c:\jdk, the version of every java.exe there, the accepted executable.
    struct Case { std::vector<const char*> files; const char *version, *minimum; std::string accepted; };
    const Case cases[] = {
        {{"\\bin\\java.exe", "\\bin\\javac.exe"}, "17.0.2", "1.7", modern},
        {{"\\bin\\java.exe"}, "17.0.2", "1.7", ""},
        {{"\\bin\\java.exe", "\\bin\\javac.exe"}, "17.0.2", "21", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RuntimeMachine m;
        m.set(kSearchSequence, "EJAVA_HOME");
        m.set(kMinJavaVersion, c.minimum);
        m.set(kJdkRequired, "1");
        m.fake.environment.variables["JAVA_HOME"] = "c:\\jdk";
        for (const std::string file : c.files) {
            if (file.ends_with("\\bin\\java.exe"))
                m.addRuntime("c:\\jdk" + file.substr(0, file.rfind("\\bin\\")), c.version);
            else
                m.fake.files.addFile("c:\\jdk" + file, "x");
        }
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.library != nullptr ? result.executable : "", c.accepted);
    }
}

// --- the VM library -------------------------------------------------------------------------

// "<bin>\<type>\jvm.dll" for each of the blank-separated types, appended to paths.
Paths libraries(const std::string& bin, const std::string& types, Paths paths = {}) {
    std::istringstream words(types);
    for (std::string type; words >> type;)
        paths.push_back(bin + "\\" + type + "\\jvm.dll");
    return paths;
}

TEST(VmLibrary, TriesThePreferredTypeThenEveryTypeThenTheRuntimeBesideTheBinDirectory) {
    const std::string all = " hotspot client server classic jrockit", cut(199, 'v');
    const std::string jre = "c:\\jre\\bin", jdk = "c:\\jdk\\bin", javaw = jre + "\\javaw.exe";
    const std::string jdkRuntime = jdk + "\\..\\jre\\bin", jreRuntime = jre + "\\..\\jre\\bin";
    // clang-format off
    struct Case { std::string preferred, executable; Paths loadable, broken, loads; };
    const Case cases[] = {
        {"", jre + "\\java.exe", libraries(jre, "jrockit"), {}, libraries(jre, all)},
        {"server", javaw, libraries(jre, "client server"), {}, libraries(jre, "server")},
        {std::string(250, 'v'), javaw, libraries(jre, cut), {}, libraries(jre, cut)},
        {"", jdk + "\\java.exe", libraries(jdkRuntime, "client"), libraries(jdk, "server"),
         libraries(jdkRuntime, "hotspot client", libraries(jdk, all))},
        {"server", javaw, {}, libraries(jre, "client"), libraries(jreRuntime, "server" + all, libraries(jre, "server" + all))},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        RuntimeMachine m;
        m.set(kPreferredVmType, c.preferred);
        for (const std::string& path : c.loadable)
            m.addLibrary(path);
        for (const std::string& path : c.broken)
            m.addLibrary(path, 193);
        EXPECT_EQ(loadJvmDll(m.ctx, c.executable) != nullptr, !c.loadable.empty());
        EXPECT_EQ(m.fake.programs.loads, c.loads);
        // PATH keeps naming the bin directory of a library that loaded, else is restored.
        EXPECT_EQ(m.fake.environment.variables["PATH"] == "C:\\Windows", c.loadable.empty());
    }
    RuntimeMachine m;
    m.addLibrary(jre + "\\hotspot\\jvm.dll", 193);                // of the other width
    m.addLibrary(jre + "\\server\\jvm.dll", 0, /*onDisk=*/false); // the loader knows better
    EXPECT_NE(loadJvmDll(m.ctx, javaw), nullptr);
    EXPECT_THAT(m.logText(), HasSubstr("\nTrying to load JVM-DLL from c:\\jre\\bin\\javaw.exe\n"
                                       "Setting PATH C:\\Windows;c:\\jre\\bin\n"
                                       "Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 1)\n"
                                       "Failed with error code 193\n"
                                       "Trying c:\\jre\\bin\\client\\jvm.dll (exists 0)\n"
                                       "Trying c:\\jre\\bin\\server\\jvm.dll (exists 0)\n"));
    EXPECT_EQ(m.fake.environment.runtimeAssignments, Paths{"PATH=C:\\Windows;c:\\jre\\bin"});
}

// LoadDLL keeps the library, its entry point and the runtime's home; a runtime that the search
// accepts but whose library fails to load or lacks the entry point is named as precisely as
// its source allows.
TEST(VmLibrary, LoadDllNamesAnUnusableRuntimeAsPreciselyAsItsSourceAllows) {
    RuntimeMachine good;
    good.set(kSearchSequence, "Bc:\\app\\jre");
    good.fake.files.addFile("c:\\app\\jre\\bin\\java.exe", "MZ");
    good.addLibrary("c:\\app\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(LoadDLL(good.ctx));
    EXPECT_EQ(good.ctx.jvmHome, "c:\\app\\jre\\bin\\..");
    EXPECT_NE(good.ctx.vmLibrary, nullptr);
    EXPECT_NE(good.ctx.createJavaVm, nullptr);
    EXPECT_EQ(good.logged("Loading of JVM-DLL "), Paths{"successful"});
    // clang-format off
    struct Case { std::string sequence, variable, value, applicationId, message; };
    const Case cases[] = {
        {"S", "", "", "", "No 64-bit JVM"},
        {"EMY_JAVA", "MY_JAVA", "c:/jre", "", "env MY_JAVA"},
        {"", "KESTROWAN_JAVA_HOME", "c:\\jre", "", "env KESTROWAN_JAVA_HOME"},
        {"A${RT}", "RT", "c:\\jre", "", "dir c:\\jre"},
        {"", "", "", "app", "VM failed {0}"}, // a previous installation
    };
    // clang-format on
    for (const Case& c : cases) {
        for (bool loads : {false, true}) {
            SCOPED_TRACE(c.message + (loads ? ", loads" : ""));
            RuntimeMachine m;
            m.set(kSearchSequence, c.sequence);
            m.set(kApplicationId, c.applicationId);
            m.fake.environment.variables[c.variable] = c.value;
            m.fake.programs.searchResults["java.exe"] = "c:\\jre\\bin\\java.exe";
            m.fake.registry.setString(RegistryRoot::CurrentUser,
                                      "SOFTWARE\\corvane-systems\\kestrowan\\installations", "app",
                                      "c:");
            m.addRuntime("c:\\jre", "1.8.0_20", false);
            if (loads)
                m.addLibrary("c:\\jre\\bin\\server\\jvm.dll", 0, true,
                             {"JNI_GetDefaultJavaVMInitArgs"});
            else
                m.addLibrary("c:\\jre\\bin\\hotspot\\jvm.dll", 193);
            EXPECT_FALSE(LoadDLL(m.ctx));
            Paths errors = {"Could not get DLL-Handle.", "Could not load functions"};
            EXPECT_EQ(m.logged("ERROR: "), loads ? Paths{errors[1]} : errors);
            EXPECT_EQ(m.fake.ui.boxes.back().text, test::widen(c.message + kLogName));
            // The view flag as a number, then the root key's handle, for each place looked at:
            // a library that does not load sends the search on.
            if (!c.applicationId.empty()) {
                const std::string handle = std::string(2 * sizeof(void*) - 8, '0') + "8000000";
                Paths places = {"app (0, " + handle + "1)"};
                if (!loads)
                    places.insert(places.end(),
                                  {"app (0, " + handle + "2)", "app (512, " + handle + "2)"});
                EXPECT_EQ(m.logged("checking app id "), places);
            }
        }
    }
    RuntimeMachine none;
    EXPECT_FALSE(LoadDLL(none.ctx));
    EXPECT_EQ(none.logged("LoadDLL "), Paths{"(1, (null), 0)"});
    EXPECT_EQ(none.logged("ERROR: "), Paths{"No JVM found"});
    EXPECT_EQ(none.fake.ui.boxes.back().text, u"No 64-bit JVM" + test::widen(kLogName));
}

// --- packed runtimes --------------------------------------------------------------------------

// Before a runtime is probed its packed archives are unpacked, lib first, then lib\ext; an
// archive already there is done, and blanks in the paths reach the tool inside quotes.
TEST(PackedRuntime, ArchivesAreUnpackedBeforeTheRuntimeIsProbed) {
    RuntimeMachine m;
    const std::string r = "c:\\apps\\tool\\my jre", tool = r + "\\bin\\unpack200.exe";
    m.set(kSearchSequence, "B.\\my jre");
    m.addRuntime(r, "1.8.0_20");
    for (const char* file : {"\\lib\\charsets.jar.pack", "\\lib\\charsets.jar",
                             "\\lib\\rt.jar.pack", "\\lib\\ext\\a.jar.pack"})
        m.fake.files.addFile(r + file, "PK");
    m.fake.programs.children[tool] = {};
    searchJvm(m.ctx);
    EXPECT_EQ(m.fake.console.standardOutput, "Preparing JRE ...\n");
    Paths started;
    for (const auto& start : m.fake.programs.starts)
        started.push_back(start.program + "|" + start.commandLine);
    EXPECT_THAT(
        started,
        ElementsAre(tool + "|-r \"" + r + "\\lib\\rt.jar.pack\" \"" + r + "\\lib\\rt.jar\"",
                    tool + "|-r \"" + r + "\\lib\\ext\\a.jar.pack\" \"" + r + "\\lib\\ext\\a.jar\"",
                    "|" + r + "\\bin\\java.exe -version"));
    EXPECT_THAT(m.fake.programs.waits, ElementsAre(0xFFFFFFFF, 0xFFFFFFFF, 60000u));
}

// Deleted whatever the tool did, so that no later start runs it on the same file again; only a
// failure other than "gone" is logged. Without the tool the launch ends with internal error 20.
TEST(PackedRuntime, PackFileIsDeletedAfterTheToolRan) {
    const std::u16string pack = u"c:\\jre\\lib\\rt.jar.pack";
    // clang-format off
    for (auto [tool, toolRemovesPack, error, logged] : {std::tuple{true, false, 0u, Paths{}}, {true, true, 0u, Paths{}},
                                                        {true, false, 5u, Paths{"(error 5)"}}, {false, false, 0u, Paths{}}}) {
        // clang-format on
        SCOPED_TRACE(error + 2 * toolRemovesPack + 4 * tool);
        RuntimeMachine m;
        m.fake.files.addFile(pack, "packed");
        if (error)
            m.fake.files.deleteErrors[pack] = error;
        if (tool) {
            auto& child = m.fake.programs.children["c:\\jre\\bin\\unpack200.exe"];
            child.exitCode = 1; // its outcome is not looked at
            if (toolRemovesPack)
                child.effect = [&m, pack] { m.fake.files.files.erase(pack); };
        }
        EXPECT_EQ(test::exitCodeOf([&] { files::unpackRuntime(m.ctx, "c:\\jre"); }),
                  tool ? std::nullopt : std::optional(1));
        EXPECT_EQ(m.fake.files.deleteCalls, tool ? Paths{"c:\\jre\\lib\\rt.jar.pack"} : Paths{});
        EXPECT_EQ(m.logged("could not delete packed file "), logged);
        EXPECT_EQ(m.fake.ui.boxes.empty() ? u"" : m.fake.ui.boxes[0].text,
                  tool ? u"" : u"Internal error 20" + test::widen(kLogName));
    }
}

} // namespace
} // namespace kwn::jvm
