#include "jvm/JvmSearch.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace kwn::jvm {
namespace {

using namespace config::key;
using platform::RegistryRoot;
using platform::RegistryView;
using test::RuntimeMachine;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;

const std::string kJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
const std::string kJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::string kLocatedKey = "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms\\";
const std::string kInstallationsKey = "SOFTWARE\\corvane-systems\\kestrowan\\installations";
const std::string kOld = "1.6.0_45"; // below the minimum "1.7"
const std::string kGood = "1.8.0_20";

std::string javaIn(const std::string& home) {
    return home + "\\bin\\java.exe";
}

void writeLocationFile(RuntimeMachine& m, const std::string& name, const std::string& text,
                       const std::string& installation = ".") {
    m.setConfig(kInstallationDirectory, installation);
    std::string directory = installation == "." ? "" : installation + "\\";
    m.fake.files.addFile("c:\\apps\\tool\\" + directory + ".kestrowan\\" + name, text);
}

// A JavaSoft key ("current" may be empty for none) with one version subkey naming home.
void addJavaSoft(RuntimeMachine& m, const std::string& key, const std::string& current,
                 const std::string& subkey, const std::string& home) {
    if (!current.empty())
        m.fake.registry.setString(RegistryRoot::LocalMachine, key, "CurrentVersion", current);
    m.fake.registry.setString(RegistryRoot::LocalMachine, key + "\\" + subkey, "JavaHome", home,
                              RegistryView::Default, /*withZero=*/true);
}

void addLocated(RuntimeMachine& m, RegistryRoot root, std::string executable) {
    std::replace(executable.begin(), executable.end(), '\\', '/');
    m.fake.registry.addKey(root, kLocatedKey + executable);
}

// A JDK as key 131 wants it: "lib\tools.jar", and its runtime under "jre".
void addJdk(RuntimeMachine& m, const std::string& home, const std::string& version) {
    m.fake.files.addFile(home + "\\lib\\tools.jar", "PK");
    m.addRuntime(home + "\\jre", version);
}

TEST(JvmSearch, TypicalSettingsTryEverySourceInTheirOrder) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;");
    m.setConfig(kApplicationId, "app1");
    writeLocationFile(m, "pref_jre.cfg", "c:\\rt\\pref\n");
    writeLocationFile(m, "inst_jre.cfg", "c:\\rt\\inst\n");
    addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
    addLocated(m, RegistryRoot::LocalMachine, javaIn("c:\\rt\\located"));
    m.fake.registry.setString(RegistryRoot::CurrentUser, kInstallationsKey, "app1", "c:\\rt\\user");
    m.fake.registry.setString(RegistryRoot::LocalMachine, kInstallationsKey, "app1",
                              "c:\\rt\\machine");
    for (const char* variable : {"JAVA_HOME", "JDK_HOME", "QELVO_JAVA_HOME", "KESTROWAN_JAVA_HOME"})
        m.setVariable(variable, std::string("c:\\rt\\") + variable);
    // Every source holds a runtime, all too old and none loadable, so every source is visited.
    for (const char* home :
         {"c:\\rt\\pref", "c:\\apps\\tool\\jre", "c:\\rt\\sun", "c:\\rt\\located", "c:\\rt\\inst",
          "c:\\rt\\user\\jre", "c:\\rt\\machine\\jre", "c:\\rt\\JAVA_HOME", "c:\\rt\\JDK_HOME",
          "c:\\rt\\QELVO_JAVA_HOME", "c:\\rt\\KESTROWAN_JAVA_HOME"})
        m.addRuntime(home, kOld, false);

    SearchResult result = searchJvm(m.ctx);

    EXPECT_THAT(m.attempts(),
                ElementsAre(javaIn("c:\\rt\\pref"), javaIn("c:\\apps\\tool\\jre"),
                            // the current version's key, then the same key enumerated
                            javaIn("c:\\rt\\sun"), javaIn("c:\\rt\\sun"), javaIn("c:\\rt\\located"),
                            javaIn("c:\\rt\\JAVA_HOME"), javaIn("c:\\rt\\JDK_HOME"),
                            javaIn("c:\\rt\\inst"), "load " + javaIn("c:\\apps\\tool\\jre"),
                            // the user's key is one in both views; the machine's is not
                            javaIn("c:\\rt\\user\\jre"), javaIn("c:\\rt\\user\\jre"),
                            javaIn("c:\\rt\\machine\\jre"), "finished",
                            javaIn("c:\\rt\\QELVO_JAVA_HOME"),
                            javaIn("c:\\rt\\KESTROWAN_JAVA_HOME")));
    EXPECT_THAT(
        m.logged("Testing location "),
        ElementsAre(".\\jre (type B)", " (type Y)", "JAVA_HOME (type E)", "JDK_HOME (type E)"));
    EXPECT_THAT(m.logged("Testing relative location "), ElementsAre(".\\jre"));
    // The bundled runtime was accepted in the fallback pass but did not load.
    EXPECT_EQ(result.type, LocationType::Directory);
    EXPECT_EQ(result.locationName, ".\\jre");
    EXPECT_EQ(result.library, nullptr);
}

TEST(JvmSearch, ABundledRuntimeRejectedByVersionIsTakenInTheFallbackPass) {
    struct Case {
        bool jdkRequired;
        std::string home; // where the bundled runtime keeps bin\java.exe
        std::vector<std::string> attempts;
    };
    const std::string plain = javaIn("c:\\apps\\tool\\jre");
    const std::string jdkStyle = javaIn("c:\\apps\\tool\\jre\\jre");
    const Case cases[] = {
        {false, "c:\\apps\\tool\\jre", {plain, "load " + plain}},
        // A JDK is required and there is no "lib\tools.jar": no probe, yet the fallback takes it.
        {true, "c:\\apps\\tool\\jre\\jre", {"load " + jdkStyle}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.home);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "B.\\jre;EJAVA_HOME");
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        m.addRuntime(c.home, kOld);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_THAT(m.attempts(), ElementsAreArray(c.attempts));
        EXPECT_THAT(m.logged(""), Contains(javaIn(c.home) + " exists"));
        EXPECT_EQ(result.type, LocationType::Directory);
        EXPECT_EQ(result.locationName, ".\\jre");
        EXPECT_NE(result.library, nullptr);
    }
}

TEST(JvmSearch, TheFallbackPassRetriesBundledAndRelativeDirectoriesOnly) {
    struct Entry {
        std::string entry;
        bool retried;
    };
    const Entry entries[] = {
        {"Ac:\\rt\\a", false}, {"Arel\\a", true},  {"A\\\\srv\\rt", false}, {"Ac:rt", false},
        {"A\\rt", true},       {"Ax", true},       {"Bc:\\rt\\b", true},    {"B.\\jre", true},
        {"Rc:\\rt\\r", false}, {"Rrel\\r", true},  {"EJAVA_HOME", false},   {"S", false},
        {"Y", false},          {"Zrel\\z", false},
    };
    RuntimeMachine m;
    std::string sequence;
    std::vector<std::string> retried;
    for (const Entry& e : entries) {
        sequence += e.entry + ";";
        if (e.retried)
            retried.push_back(e.entry.substr(1));
    }
    m.setConfig(kSearchSequence, sequence);
    SearchResult result = searchJvm(m.ctx);
    EXPECT_THAT(m.logged("Testing relative location "), ElementsAreArray(retried));
    EXPECT_EQ(result.type, LocationType::None);
}

TEST(JvmSearch, EmptyEntriesVanishAndUnknownLettersAreOnlyLogged) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, ";;Y;Qc:\\rt\\q;");
    m.addRuntime("c:\\rt\\q", kGood);
    SearchResult result = searchJvm(m.ctx);
    EXPECT_THAT(m.logged("Testing location "), ElementsAre(" (type Y)", "c:\\rt\\q (type Q)"));
    EXPECT_THAT(m.attempts(), ElementsAre("finished"));
    EXPECT_EQ(result.type, LocationType::None);
}

// Each source on its own, with a runtime that loads and one that is a pre-release.
TEST(JvmSearch, EachSourceGivesItsTypeAndLocationName) {
    struct Case {
        std::string label;
        std::function<void(RuntimeMachine&, const std::string& home)> setUp;
        std::string home; // where the source's runtime lives
        LocationType type;
        std::string name;
        bool takesPreRelease;
    };
    const Case cases[] = {
        {"preferred file, installation directory keeps its case",
         [](RuntimeMachine& m, const std::string&) {
             writeLocationFile(m, "pref_jre.cfg", "jre2\nc:\\rt\\other\n", "Inst");
         },
         "c:\\apps\\tool\\jre2", LocationType::Directory, "jre2", true},
        {"installer file",
         [](RuntimeMachine& m, const std::string&) {
             writeLocationFile(m, "inst_jre.cfg", "c:\\rt\\x");
         },
         "c:\\rt\\x", LocationType::Directory, "c:\\rt\\x", true},
        {"directory entry, expanded",
         [](RuntimeMachine& m, const std::string&) {
             m.setVariable("RT_BASE", "c:\\rt");
             m.setConfig(kSearchSequence, "A${RT_BASE}\\x");
         },
         "c:\\rt\\x", LocationType::Directory, "c:\\rt\\x", true},
        {"variable with forward slashes",
         [](RuntimeMachine& m, const std::string&) {
             m.setVariable("MY_JAVA", "c:/rt/x");
             m.setConfig(kSearchSequence, "EMY_JAVA");
         },
         "c:\\rt\\x", LocationType::Variable, "MY_JAVA", false},
        {"search path",
         [](RuntimeMachine& m, const std::string& home) {
             m.fake.programs.searchResults["java.exe"] = javaIn(home);
             m.setConfig(kSearchSequence, "S");
         },
         "c:\\rt\\x", LocationType::SearchPath, "", false},
        {"JavaSoft",
         [](RuntimeMachine& m, const std::string& home) {
             addJavaSoft(m, kJreKey, "1.8", "1.8", home);
             m.setConfig(kSearchSequence, "Y");
         },
         "c:\\rt\\x", LocationType::Registry, "", false},
        {"located",
         [](RuntimeMachine& m, const std::string& home) {
             addLocated(m, RegistryRoot::CurrentUser, javaIn(home));
             m.setConfig(kSearchSequence, "Y");
         },
         "c:\\rt\\x", LocationType::Registry, "", true},
        {"previous installation",
         [](RuntimeMachine& m, const std::string&) {
             m.setConfig(kApplicationId, "app1");
             m.fake.registry.setString(RegistryRoot::CurrentUser, kInstallationsKey, "app1",
                                       "c:\\rt", RegistryView::Default, true);
         },
         "c:\\rt\\jre", LocationType::Registry, "", false},
        {"QELVO_JAVA_HOME",
         [](RuntimeMachine& m, const std::string& home) { m.setVariable("QELVO_JAVA_HOME", home); },
         "c:\\rt\\x", LocationType::Variable, "QELVO_JAVA_HOME", false},
        {"KESTROWAN_JAVA_HOME",
         [](RuntimeMachine& m, const std::string& home) {
             m.setVariable("KESTROWAN_JAVA_HOME", home);
         },
         "c:\\rt\\x", LocationType::Variable, "KESTROWAN_JAVA_HOME", false},
    };
    for (const Case& c : cases) {
        for (const std::string& version : {kGood, std::string("1.8.0-ea")}) {
            SCOPED_TRACE(c.label + " " + version);
            RuntimeMachine m;
            c.setUp(m, c.home);
            m.addRuntime(c.home, version);
            SearchResult result = searchJvm(m.ctx);
            bool taken = version == kGood || c.takesPreRelease;
            ASSERT_EQ(result.library != nullptr, taken);
            if (!taken)
                continue;
            EXPECT_EQ(result.type, c.type);
            EXPECT_EQ(result.locationName, c.name);
            EXPECT_EQ(result.executable, javaIn(c.home));
            EXPECT_THAT(m.fake.programs.loads, ElementsAre(c.home + "\\bin\\hotspot\\jvm.dll"));
        }
    }
}

TEST(JvmSearch, TheLastAcceptedCandidateNamesTheFailureAndALoadEndsTheSearch) {
    struct Case {
        std::string label;
        bool aLoads, javaHomeExists, javaHomeLoads;
        std::vector<std::string> attempts;
        LocationType type;
        std::string name;
    };
    const std::string a = javaIn("c:\\rt\\a"), j = javaIn("c:\\rt\\j");
    const Case cases[] = {
        {"both accepted, neither loads",
         false,
         true,
         false,
         {a, "load " + a, j, "load " + j, "finished"},
         LocationType::Variable,
         "JAVA_HOME"},
        {"only the first accepted",
         false,
         false,
         false,
         {a, "load " + a, j, "finished"},
         LocationType::Directory,
         "c:\\rt\\a"},
        {"the first loads",
         true,
         true,
         true,
         {a, "load " + a},
         LocationType::Directory,
         "c:\\rt\\a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Ac:\\rt\\a;EJAVA_HOME");
        m.setVariable("JAVA_HOME", "c:\\rt\\j");
        m.addRuntime("c:\\rt\\a", kGood, c.aLoads);
        if (c.javaHomeExists)
            m.addRuntime("c:\\rt\\j", kGood, c.javaHomeLoads);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_THAT(m.attempts(), ElementsAreArray(c.attempts));
        EXPECT_EQ(result.type, c.type);
        EXPECT_EQ(result.locationName, c.name);
        EXPECT_EQ(result.library != nullptr, c.aLoads);
    }
}

TEST(JvmSearch, JavaSoftCurrentVersionsPickTheKeyATieGoesToTheRuntime) {
    struct Case {
        std::string jdk, jre; // current versions; empty for none
        bool jdkRequired;
        bool jdkChosen;
    };
    const Case cases[] = {
        {"1.8", "1.8", false, false},      {"1.8.0_20", "1.8", false, true},
        {"1.8", "1.8.0_20", false, false}, {"1.6", "1.8", false, false}, // 1.6 is out of range
        {"1.8", "1.6", false, true},       {"1.8", "", false, true},
        {"1.8", "1.8", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jdk + " / " + c.jre + (c.jdkRequired ? " JDK required" : ""));
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        addJavaSoft(m, kJdkKey, c.jdk, c.jdk, "c:\\rt\\jdk");
        addJavaSoft(m, kJreKey, c.jre, c.jre.empty() ? "1.8" : c.jre, "c:\\rt\\jre");
        addJdk(m, "c:\\rt\\jdk", kGood);
        m.addRuntime("c:\\rt\\jre", kGood);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.executable,
                  c.jdkChosen ? javaIn("c:\\rt\\jdk\\jre") : javaIn("c:\\rt\\jre"));
        EXPECT_EQ(m.attempts().size(), 2u) << "one check, one load";
        if (c.jdkRequired) {
            EXPECT_THAT(m.fake.registry.opened, Not(Contains(HasSubstr("Java Runtime"))));
        }
    }
}

TEST(JvmSearch, JavaSoftEnumerationWalksDownFromTheGreatestVersionRuntimesFirst) {
    struct Case {
        std::string maximum;
        std::vector<std::string> attempts;
    };
    const std::string missing = javaIn("c:\\rt\\missing"), j17 = javaIn("c:\\rt\\j17");
    const Case cases[] = {
        // 1.8.0_05 names nothing usable; 1.8 has no home; the JDK's higher 1.9 waits its turn.
        {"", {missing, j17, "load " + j17}},
        {"1.7", {j17, "load " + j17}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("maximum " + c.maximum);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kMaxJavaVersion, c.maximum);
        addJavaSoft(m, kJreKey, "", "1.6.0_45", "c:\\rt\\j16");
        addJavaSoft(m, kJreKey, "", "1.7.0_21", "c:\\rt\\j17");
        addJavaSoft(m, kJreKey, "", "1.8.0_05", "c:\\rt\\missing");
        m.fake.registry.addKey(RegistryRoot::LocalMachine, kJreKey + "\\1.8");
        addJavaSoft(m, kJdkKey, "", "1.9", "c:\\rt\\j19");
        m.addRuntime("c:\\rt\\j16", "1.7.0_80"); // never asked: its key name is out of range
        m.addRuntime("c:\\rt\\j17", "1.7.0_21");
        m.addRuntime("c:\\rt\\j19", "1.7.0_99");
        searchJvm(m.ctx);
        EXPECT_THAT(m.attempts(), ElementsAreArray(c.attempts));
    }
}

TEST(JvmSearch, RegistrySearchPrefersTheHigherVersionATieGoesToTheLocatedRuntime) {
    struct Case {
        std::string sunVersion, locatedVersion;
        bool locatedChosen;
    };
    const Case cases[] = {
        {"1.8.0_20", "1.8.0_20", true},
        {"1.8.0_20", "1.8.0_05", false},
        {"1.7.0_80", "1.8.0_05", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sunVersion + " / " + c.locatedVersion);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
        addLocated(m, RegistryRoot::LocalMachine, javaIn("c:\\rt\\located"));
        m.addRuntime("c:\\rt\\sun", c.sunVersion);
        m.addRuntime("c:\\rt\\located", c.locatedVersion);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.executable, javaIn(c.locatedChosen ? "c:\\rt\\located" : "c:\\rt\\sun"));
        EXPECT_THAT(m.logged("found sun "),
                    ElementsAre(javaIn("c:\\rt\\sun") + " " + c.sunVersion));
        EXPECT_THAT(m.logged("found located "),
                    ElementsAre(javaIn("c:\\rt\\located") + " " + c.locatedVersion));
    }
}

TEST(JvmSearch, OwnRuntimesOnlyLeavesJavaSoftAndForeignLocatedRuntimesAlone) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, "Y");
    m.setConfig(kOwnRuntimesOnly, "1");
    addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
    addLocated(m, RegistryRoot::CurrentUser, javaIn("c:\\rt\\other"));
    addLocated(m, RegistryRoot::CurrentUser, javaIn("c:\\app\\kwn_jres\\a"));
    for (const char* home : {"c:\\rt\\sun", "c:\\rt\\other", "c:\\app\\kwn_jres\\a"})
        m.addRuntime(home, kGood);
    SearchResult result = searchJvm(m.ctx);
    EXPECT_THAT(m.attempts(), ElementsAre(javaIn("c:\\app\\kwn_jres\\a"),
                                          "load " + javaIn("c:\\app\\kwn_jres\\a")));
    EXPECT_THAT(m.fake.registry.opened, Not(Contains(HasSubstr("JavaSoft"))));
    EXPECT_EQ(result.type, LocationType::Registry);
}

TEST(JvmSearch, PreviousInstallationsAreAskedPerRootDefaultViewFirst) {
    RuntimeMachine m;
    m.setConfig(kApplicationId, "app1");
    m.fake.registry.setString(RegistryRoot::LocalMachine, kInstallationsKey, "app1",
                              "c:\\old;;c:\\new", RegistryView::Registry32);
    m.addRuntime("c:\\old\\jre", kOld);
    m.addRuntime("c:\\new\\jre", kGood);
    SearchResult result = searchJvm(m.ctx);
    std::vector<std::string> checks = m.logged("checking app id app1 (&d, ");
    ASSERT_EQ(checks.size(), 4u);
    // The view flag lands in "%p": none, KEY_WOW64_32KEY, none, KEY_WOW64_32KEY.
    EXPECT_TRUE(checks[0].ends_with("000)") && checks[2].ends_with("000)"));
    EXPECT_TRUE(checks[1].ends_with("200)") && checks[3].ends_with("200)"));
    EXPECT_THAT(m.logged("could not open installation node "), ElementsAre("2", "2", "2"));
    EXPECT_THAT(m.logged("found installations: "), ElementsAre("c:\\old;;c:\\new"));
    EXPECT_THAT(m.logged("java version did not match in "), ElementsAre("c:\\old\\jre"));
    EXPECT_THAT(m.logged("found JRE from previous installation (machine) "),
                ElementsAre(javaIn("c:\\new\\jre")));
    EXPECT_EQ(result.type, LocationType::Registry);
    EXPECT_NE(result.library, nullptr);
}

TEST(JvmSearch, PreviousInstallationsThatYieldNothingSayWhy) {
    struct Case {
        std::string id, value;
        bool jdkRequired;
        std::string line;
    };
    const Case cases[] = {
        {"app1", "", false, "could not query value node 0"},
        {"app1", "c:\\old", true, "did not find java in c:\\old\\jre"},
        {"app1", "c:\\old", false, "java version did not match in c:\\old\\jre"},
        {"", "c:\\old", false, "checking app id  (&d, "}, // no id: nothing is opened
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        RuntimeMachine m;
        m.setConfig(kApplicationId, c.id);
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        m.fake.registry.setString(RegistryRoot::CurrentUser, kInstallationsKey, "app1", c.value);
        m.addRuntime("c:\\old\\jre", kOld);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_THAT(m.logLines(), Contains(StartsWith(c.line)));
        EXPECT_EQ(result.type, LocationType::None);
        if (c.id.empty()) {
            EXPECT_THAT(m.fake.registry.opened, IsEmpty());
        }
    }
}

TEST(JvmSearch, ATooOldPreferredLocationIsPassedOverAndNeverRetried) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, "B.\\jre");
    writeLocationFile(m, "pref_jre.cfg", "c:\\rt\\old\n");
    m.addRuntime("c:\\rt\\old", kOld);
    m.setVariable("QELVO_JAVA_HOME", "c:\\rt\\q");
    m.addRuntime("c:\\rt\\q", kGood);
    SearchResult result = searchJvm(m.ctx);
    EXPECT_THAT(m.logged("Has preferred location "), ElementsAre("c:\\rt\\old"));
    EXPECT_THAT(m.logLines(), Not(Contains("Using preferred location")));
    EXPECT_THAT(m.attempts(),
                ElementsAre(javaIn("c:\\rt\\old"), javaIn("c:\\apps\\tool\\jre"), "finished",
                            javaIn("c:\\rt\\q"), "load " + javaIn("c:\\rt\\q")));
    EXPECT_EQ(result.type, LocationType::Variable);
}

TEST(JvmSearch, PackedArchivesAreUnpackedBeforeTheRuntimeIsProbed) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, "B.\\jre");
    m.addRuntime("c:\\apps\\tool\\jre", kGood);
    m.fake.files.addFile("c:\\apps\\tool\\jre\\lib\\rt.jar.pack", "packed");
    m.fake.programs.children["c:\\apps\\tool\\jre\\bin\\unpack200.exe"] = {};
    searchJvm(m.ctx);
    ASSERT_EQ(m.fake.programs.starts.size(), 2u);
    EXPECT_EQ(m.fake.programs.starts[0].program, "c:\\apps\\tool\\jre\\bin\\unpack200.exe");
    EXPECT_EQ(m.fake.programs.starts[1].commandLine, javaIn("c:\\apps\\tool\\jre") + " -version");
}

} // namespace
} // namespace kwn::jvm
