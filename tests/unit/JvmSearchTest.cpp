#include "jvm/JvmSearch.h"

#include "RuntimeMachine.h"
#include "jvm/LocatedJvms.h"

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

const std::string kJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
const std::string kJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
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

// Recorded by other software as the executable's path with "/" for "\".
void addLocated(RuntimeMachine& m, RegistryRoot root, std::string executable) {
    std::replace(executable.begin(), executable.end(), '\\', '/');
    m.fake.registry.addKey(root, "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms\\" + executable);
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
        m.fake.environment.variables[variable] = std::string("c:\\rt\\") + variable;
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
    // The bundled runtime was accepted in the fallback pass but did not load.
    EXPECT_EQ(result.type, LocationType::Directory);
    EXPECT_EQ(result.locationName, ".\\jre");
    EXPECT_EQ(result.library, nullptr);
}

// Location files name a directory, whose pre-releases are welcome. The line buffer keeps 5,999
// characters: the cut-off "y" would name another directory.
TEST(JvmSearch, LocationFilesNameADirectoryByTheirFirstLine) {
    std::string cut = "c:\\rt\\x";
    while (cut.size() < 5999)
        cut += "\\.";
    struct Case {
        const char* file;
        std::string text, installation, home, name;
    };
    const Case cases[] = {
        {"pref_jre.cfg", "jre2\nc:\\rt\\o\n", "Inst", "c:\\apps\\tool\\jre2", "jre2"},
        {"pref_jre.cfg", cut + "y\n", ".", "c:\\rt\\x", cut},
        {"inst_jre.cfg", "c:\\rt\\x", ".", "c:\\rt\\x", "c:\\rt\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 10));
        RuntimeMachine m;
        writeLocationFile(m, c.file, c.text, c.installation);
        m.addRuntime(c.home, "1.8.0-ea");
        SearchResult result = searchJvm(m.ctx);
        EXPECT_NE(result.library, nullptr);
        EXPECT_EQ(result.type, LocationType::Directory);
        EXPECT_EQ(result.locationName, c.name);
    }
}

TEST(JvmSearch, TheLastAcceptedCandidateNamesTheFailureAndALoadEndsTheSearch) {
    struct Case {
        bool aLoads, javaHomeExists;
        std::vector<std::string> attempts;
        LocationType type;
        std::string name;
    };
    const std::string a = javaIn("c:\\rt\\a"), j = javaIn("c:\\rt\\j");
    const Case cases[] = {
        {false,
         true,
         {a, "load " + a, j, "load " + j, "finished"},
         LocationType::Variable,
         "JAVA_HOME"},
        {false, false, {a, "load " + a, j, "finished"}, LocationType::Directory, "c:\\rt\\a"},
        {true, true, {a, "load " + a}, LocationType::Directory, "c:\\rt\\a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "A${RT}\\a;EJAVA_HOME");
        m.fake.environment.variables["RT"] = "c:\\rt";
        m.fake.environment.variables["JAVA_HOME"] = "c:\\rt\\j";
        m.addRuntime("c:\\rt\\a", kGood, c.aLoads);
        if (c.javaHomeExists)
            m.addRuntime("c:\\rt\\j", kGood, false);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_THAT(m.attempts(), ElementsAreArray(c.attempts));
        EXPECT_EQ(result.type, c.type);
        EXPECT_EQ(result.locationName, c.name);
        EXPECT_EQ(result.library != nullptr, c.aLoads);
    }
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

TEST(JvmSearch, JavaSoftCurrentVersionsPickTheKeyATieGoesToTheRuntime) {
    struct Case {
        std::string jdk, jre; // current versions; empty for none
        bool jdkRequired, jdkChosen;
    };
    const std::string fills = "1.8" + std::string(97, '0'); // the installers' 100-byte buffer
    const Case cases[] = {
        {"1.8", "1.8", false, false},      {"1.8.0_20", "1.8", false, true},
        {"1.8", "1.8.0_20", false, false}, {"1.6", "1.8", false, false}, // 1.6 is out of range
        {"1.8", "1.6", false, true},       {"1.8", "", false, true},
        {"1.8", "1.8", true, true},        {"1.8", fills, false, false},
        {"1.8", fills + "0", false, true}, // too long to be read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jdk + " / " + c.jre + (c.jdkRequired ? " JDK required" : ""));
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        addJavaSoft(m, kJdkKey, c.jdk, c.jdk, "c:\\rt\\jdk");
        addJavaSoft(m, kJreKey, c.jre, c.jre.empty() ? "1.8" : c.jre, "c:\\rt\\jre");
        m.fake.files.addFile("c:\\rt\\jdk\\lib\\tools.jar", "PK");
        m.addRuntime("c:\\rt\\jdk\\jre", kGood);
        m.addRuntime("c:\\rt\\jre", kGood);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.executable, javaIn(c.jdkChosen ? "c:\\rt\\jdk\\jre" : "c:\\rt\\jre"));
        EXPECT_EQ(m.attempts().size(), 2u) << "one check, one load";
        if (c.jdkRequired) {
            EXPECT_THAT(m.fake.registry.opened, Not(Contains(HasSubstr("Java Runtime"))));
        }
    }
}

TEST(JvmSearch, JavaSoftEnumerationWalksDownFromTheGreatestVersionRuntimesFirst) {
    const std::string missing = javaIn("c:\\rt\\missing"), j17 = javaIn("c:\\rt\\j17");
    // 1.8.0_05 names nothing usable; 1.8 has no home; the JDK's higher 1.9 waits its turn.
    for (auto [maximum, attempts] : {std::pair{"", std::vector{missing, j17, "load " + j17}},
                                     std::pair{"1.7", std::vector{j17, "load " + j17}}}) {
        SCOPED_TRACE(maximum);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kMaxJavaVersion, maximum);
        addJavaSoft(m, kJreKey, "", "1.6.0_45", "c:\\rt\\j16");
        addJavaSoft(m, kJreKey, "", "1.7.0_21", "c:\\rt\\j17");
        addJavaSoft(m, kJreKey, "", "1.8.0_05", "c:\\rt\\missing");
        m.fake.registry.addKey(RegistryRoot::LocalMachine, kJreKey + "\\1.8");
        addJavaSoft(m, kJdkKey, "", "1.9", "c:\\rt\\j19");
        m.addRuntime("c:\\rt\\j16", "1.7.0_80"); // never asked: its key name is out of range
        m.addRuntime("c:\\rt\\j17", "1.7.0_21");
        m.addRuntime("c:\\rt\\j19", "1.7.0_99");
        searchJvm(m.ctx);
        EXPECT_THAT(m.attempts(), ElementsAreArray(attempts));
    }
}

TEST(JvmSearch, RegistrySearchPrefersTheHigherVersionATieGoesToTheLocatedRuntime) {
    for (auto [sun, located, locatedChosen] :
         {std::tuple{"1.8.0_20", "1.8.0_20", true}, std::tuple{"1.8.0_20", "1.8.0_05", false},
          std::tuple{"1.7.0_80", "1.8.0_05", true}}) {
        SCOPED_TRACE(std::string(sun) + " / " + located);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
        addLocated(m, RegistryRoot::LocalMachine, javaIn("c:\\rt\\located"));
        m.addRuntime("c:\\rt\\sun", sun);
        m.addRuntime("c:\\rt\\located", located);
        SearchResult result = searchJvm(m.ctx);
        EXPECT_EQ(result.executable, javaIn(locatedChosen ? "c:\\rt\\located" : "c:\\rt\\sun"));
        EXPECT_THAT(m.logged("found sun "), ElementsAre(javaIn("c:\\rt\\sun") + " " + sun));
        EXPECT_THAT(m.logged("found located "),
                    ElementsAre(javaIn("c:\\rt\\located") + " " + located));
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

// Per root the highest acceptable version, pre-releases welcome; of equal versions the first
// enumerated stays, and the user's runtime must be greater than the machine's.
TEST(JvmSearch, LocatedRuntimesGiveTheHighestVersionTheMachineWinningTies) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> user, machine; // home, version ("": gone)
        std::optional<std::string> chosen;
    };
    const Case cases[] = {
        {{{"c:\\a", "1.7.0_21"}, {"c:\\b", "1.8.0_05"}, {"c:\\c", "1.8.0_05"}}, {}, "c:\\b"},
        {{{"c:\\b", "1.8.0_05"}, {"c:\\d", "1.9.0-ea"}}, {}, "c:\\d"},
        {{{"c:\\e", "1.6.0_45"}, {"c:\\gone", ""}}, {}, std::nullopt},
        {{{"c:\\u", "1.7.0_21"}}, {{"c:\\m", "1.8.0_05"}}, "c:\\m"},
        {{{"c:\\u", "1.8.0_05"}}, {{"c:\\m", "1.8.0_05"}}, "c:\\m"},
        {{{"c:\\u", "1.8.0_05"}}, {{"c:\\m", "1.7.0_21"}}, "c:\\u"},
        {{}, {{"c:\\m", "1.7.0_21"}}, "c:\\m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen.value_or("none"));
        RuntimeMachine m;
        for (auto [root, entries] : {std::pair{RegistryRoot::CurrentUser, &c.user},
                                     std::pair{RegistryRoot::LocalMachine, &c.machine}}) {
            for (const auto& [home, version] : *entries) {
                addLocated(m, root, javaIn(home));
                if (!version.empty())
                    m.addRuntime(home, version);
            }
        }
        auto found = findLocatedJvms(m.ctx, {"1.7", ""}, true);
        EXPECT_EQ(found ? std::optional(found->executable) : std::nullopt,
                  c.chosen ? std::optional(javaIn(*c.chosen)) : std::nullopt);
    }
}

TEST(JvmSearch, PreviousInstallationsAreAskedPerRootDefaultViewFirst) {
    RuntimeMachine m;
    m.setConfig(kApplicationId, "app1");
    m.fake.registry.setString(RegistryRoot::LocalMachine, kInstallationsKey, "app1",
                              "c:\\old;;c:\\new", RegistryView::Registry32);
    m.addRuntime("c:\\old\\jre", kOld);
    m.addRuntime("c:\\new\\jre", kGood);
    m.fake.environment.variables["QELVO_JAVA_HOME"] = "c:\\rt\\q"; // not asked after a load
    m.addRuntime("c:\\rt\\q", kGood, false);
    SearchResult result = searchJvm(m.ctx);
    std::vector<std::string> views; // the view flag lands in "%p"
    for (const std::string& line : m.logged("checking app id app1 (&d, "))
        views.push_back(line.substr(line.size() - 4));
    EXPECT_THAT(views, ElementsAre("000)", "200)", "000)", "200)"));
    EXPECT_THAT(m.logged("could not open installation node "), ElementsAre("2", "2", "2"));
    EXPECT_THAT(m.logged("java version did not match in "), ElementsAre("c:\\old\\jre"));
    EXPECT_THAT(m.logged("found JRE from previous installation (machine) "),
                ElementsAre(javaIn("c:\\new\\jre")));
    EXPECT_EQ(result.type, LocationType::Registry);
    EXPECT_NE(result.library, nullptr);
}

TEST(JvmSearch, ATooOldPreferredLocationIsPassedOverAndNeverRetried) {
    RuntimeMachine m;
    m.setConfig(kSearchSequence, "B.\\jre");
    writeLocationFile(m, "pref_jre.cfg", "c:\\rt\\old\n");
    m.addRuntime("c:\\rt\\old", kOld);
    m.fake.environment.variables["QELVO_JAVA_HOME"] = "c:\\rt\\q";
    m.addRuntime("c:\\rt\\q", kGood);
    EXPECT_EQ(searchJvm(m.ctx).type, LocationType::Variable);
    EXPECT_THAT(m.logged("Has preferred location "), ElementsAre("c:\\rt\\old"));
    EXPECT_THAT(m.logged("Using preferred location"), IsEmpty());
    EXPECT_THAT(m.attempts(),
                ElementsAre(javaIn("c:\\rt\\old"), javaIn("c:\\apps\\tool\\jre"), "finished",
                            javaIn("c:\\rt\\q"), "load " + javaIn("c:\\rt\\q")));
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
