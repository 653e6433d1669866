#include "jvm/JvmSearch.h"

#include "RuntimeMachine.h"
#include "jvm/LocatedJvms.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using namespace config::key;
using platform::RegistryRoot;
using test::RuntimeMachine;
using testing::ElementsAre;

const std::string kJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::string kInstallations = "SOFTWARE\\corvane-systems\\kestrowan\\installations";
const std::string kOld = "1.6.0_45"; // below the minimum "1.7"
const std::string kGood = "1.8.0_20";

std::string javaIn(const std::string& home) {
    return home + "\\bin\\java.exe";
}

// A JavaSoft key ("current" may be empty for none) with one version subkey naming home.
void addJavaSoft(RuntimeMachine& m, const std::string& key, const std::string& current,
                 const std::string& subkey, const std::string& home) {
    if (!current.empty())
        m.fake.registry.setString(RegistryRoot::LocalMachine, key, "CurrentVersion", current);
    m.fake.registry.setString(RegistryRoot::LocalMachine, key + "\\" + subkey, "JavaHome", home,
                              platform::RegistryView::Default, /*withZero=*/true);
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
    m.setConfig(kInstallationDirectory, ".");
    m.fake.files.addFile("c:\\apps\\tool\\.kestrowan\\pref_jre.cfg", "c:\\rt\\pref\n");
    m.fake.files.addFile("c:\\apps\\tool\\.kestrowan\\inst_jre.cfg", "c:\\rt\\inst\n");
    addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
    addLocated(m, RegistryRoot::LocalMachine, javaIn("c:\\rt\\located"));
    m.fake.registry.setString(RegistryRoot::CurrentUser, kInstallations, "app1", "c:\\rt\\user");
    m.fake.registry.setString(RegistryRoot::LocalMachine, kInstallations, "app1",
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
    // Only the bundled runtime is taken whatever its version, and it did not load.
    EXPECT_EQ(result.type, LocationType::Directory);
    EXPECT_EQ(result.locationName, ".\\jre");
    EXPECT_EQ(result.library, nullptr);
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

// A tie goes to the runtime key; a value too long for the installers' 100-byte buffer is none.
TEST(JvmSearch, JavaSoftCurrentVersionsPickTheKey) {
    const std::string fills = "1.8" + std::string(97, '0');
    for (auto [jdk, jre, jdkRequired, chosen] :
         {std::tuple{"1.8", std::string("1.8"), false, "jre"},
          {"1.8.0_20", "1.8", false, "jdk\\jre"},
          {"1.8", "1.8", true, "jdk\\jre"},
          {"1.8", fills, false, "jre"},
          {"1.8", fills + "0", false, "jdk\\jre"}}) {
        SCOPED_TRACE(jre.substr(0, 5) + (jdkRequired ? " JDK required" : ""));
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        m.setConfig(kJdkRequired, jdkRequired ? "1" : "0");
        addJavaSoft(m, "SOFTWARE\\JavaSoft\\Java Development Kit", jdk, jdk, "c:\\rt\\jdk");
        addJavaSoft(m, kJreKey, jre, jre, "c:\\rt\\jre");
        m.fake.files.addFile("c:\\rt\\jdk\\lib\\tools.jar", "PK");
        m.addRuntime("c:\\rt\\jdk\\jre", kGood);
        m.addRuntime("c:\\rt\\jre", kGood);
        EXPECT_EQ(searchJvm(m.ctx).executable, javaIn(std::string("c:\\rt\\") + chosen));
        EXPECT_EQ(m.attempts().size(), 2u) << "one check, one load";
    }
}

TEST(JvmSearch, RegistrySearchPrefersTheHigherVersionATieGoesToTheLocatedRuntime) {
    for (auto [sun, located, chosen] : {std::tuple{"1.8.0_20", "1.8.0_20", "c:\\rt\\located"},
                                        {"1.8.0_20", "1.8.0_05", "c:\\rt\\sun"},
                                        {"1.7.0_80", "1.8.0_05", "c:\\rt\\located"}}) {
        SCOPED_TRACE(std::string(sun) + " / " + located);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "Y");
        addJavaSoft(m, kJreKey, "1.8", "1.8", "c:\\rt\\sun");
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
          {Entries{{"c:\\b", "1.8.0_05"}, {"c:\\d", "1.9.0-ea"}}, Entries{}, true, "c:\\d"},
          {Entries{{"c:\\e", "1.6.0_45"}, {"c:\\gone", ""}}, Entries{}, true, ""},
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

// Each root's installations in the default view, then the 32-bit one; a runtime that loads
// ends the search before the override variables.
TEST(JvmSearch, PreviousInstallationsAreAskedPerRootDefaultViewFirst) {
    RuntimeMachine m;
    m.setConfig(kApplicationId, "app1");
    m.fake.registry.setString(RegistryRoot::LocalMachine, kInstallations, "app1",
                              "c:\\old;;c:\\new", platform::RegistryView::Registry32);
    m.addRuntime("c:\\old\\jre", kOld);
    m.addRuntime("c:\\new\\jre", kGood);
    m.fake.environment.variables["QELVO_JAVA_HOME"] = "c:\\rt\\q";
    m.addRuntime("c:\\rt\\q", kGood, false);
    SearchResult result = searchJvm(m.ctx);
    EXPECT_THAT(m.logged("could not open installation node "), ElementsAre("2", "2", "2"));
    EXPECT_THAT(m.attempts(), ElementsAre(javaIn("c:\\old\\jre"), javaIn("c:\\new\\jre"),
                                          "load " + javaIn("c:\\new\\jre")));
    EXPECT_EQ(result.type, LocationType::Registry);
    EXPECT_NE(result.library, nullptr);
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
