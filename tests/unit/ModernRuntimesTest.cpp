// Runtimes as they are installed today: two-digit major versions, the JavaSoft keys of Java 9
// and later, and JDKs that have a compiler but no "lib\tools.jar".
#include "jvm/JvmSearch.h"
#include "jvm/VersionRules.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using namespace config::key;
using platform::RegistryRoot;
using platform::RegistryView;
using test::RuntimeMachine;
using testing::ElementsAreArray;

std::string javaIn(const std::string& home) {
    return home + "\\bin\\java.exe";
}

TEST(ModernVersions, BoundsOrderTwoDigitMajorsAndKeepEveryOneDotExample) {
    struct Case {
        const char *minimum, *maximum, *version;
        bool accepted; // acceptVersion, pre-releases allowed
        bool inRange;  // versionInRange, as for a registry key's name
    };
    const Case cases[] = {
        {"1.7", "", "1.6.0_45", false, false},
        {"1.7", "", "1.7.0", true, true},
        {"1.7", "", "1.8.0_20", true, true},
        {"1.7", "", "10.0.1", true, true},
        {"1.7", "", "11.0.2\" 2019-01-1", true, true},
        {"1.7", "", "1.8.0-ea", true, true},
        {"", "1.7", "1.7.0_80", true, true}, // a maximum admits every version it begins
        {"", "1.7", "1.8.0_05", false, false},
        {"", "1.8", "1.8.0_292", true, true},
        {"", "1.8", "9", false, false},
        {"", "1.7.0_80", "1.7.1", false, false},
        {"1.7.0_10", "", "1.7", false, true}, // only the registry rule stops at the name's end
        {"", "", "", true, true},
        // Two-digit majors: as text "9" sorts after "1", as versions 9 comes before 11.
        {"11", "", "9.0.4", false, false},
        {"", "17", "9.0.4", true, true},
        {"11", "", "11.0.2", true, true},
        {"11", "", "17", true, true},
        {"17", "", "21.0.1", true, true},
        {"", "11", "11.0.2", true, true},
        {"", "11", "17", false, false},
        {"", "17", "21.0.1", false, false},
        {"1.8", "", "11", true, true},
        {"", "1", "1.8.0_292", true, true},
        {"", "1", "11.0.2", false, false}, // "1" names the 1.x family, not every "1…"
        {"11", "", "1", false, false},
        {"9", "", "17-ea", true, true},
        {"", "17", "17-ea", true, true},
        // Update numbers are numbers too.
        {"1.7.0_10", "", "1.7.0_9", false, false},
        {"", "1.8.0_20", "1.8.0_100", false, false},
        {"1.8.0_05", "", "1.8.0_5", true, true}, // leading zeros do not count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " in [" + c.minimum + ", " + c.maximum + "]");
        EXPECT_EQ(acceptVersion(c.version, c.minimum, c.maximum, true, false), c.accepted);
        EXPECT_EQ(versionInRange(c.version, c.minimum, c.maximum), c.inRange);
    }
}

// One version subkey of a JavaSoft key, and the runtime its "JavaHome" names (none when the
// version is empty).
struct JavaSoftEntry {
    std::string key, subkey, home, runtimeVersion;
    RegistryView view = RegistryView::Default;
};

const std::string kClassicJre = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::string kJdk = "SOFTWARE\\JavaSoft\\JDK";
const std::string kJre = "SOFTWARE\\JavaSoft\\JRE";

TEST(ModernJavaSoftKeys, SearchedAfterTheClassicKeysByTheSameRules) {
    struct Case {
        const char* name;
        std::vector<JavaSoftEntry> entries;
        std::vector<std::pair<std::string, std::string>> currentVersions; // key, value
        std::string minimum;
        std::vector<std::string> checked; // homes, in order; the last one loads
    };
    const Case cases[] = {
        {"a machine with only a current JDK",
         {{kJdk, "17", "c:\\jdk17", "17.0.2"}},
         {},
         "1.7",
         {"c:\\jdk17"}},
        {"enumeration from the highest version down",
         {{kJdk, "9.0.4", "c:\\jdk9", "9.0.4"},
          {kJdk, "11.0.2", "c:\\gone11", ""},
          {kJdk, "17", "c:\\gone17", ""}},
         {},
         "1.7",
         {"c:\\gone17", "c:\\gone11", "c:\\jdk9"}},
        {"the current version before higher ones",
         {{kJdk, "11.0.2", "c:\\jdk11", "11.0.2"}, {kJdk, "17", "c:\\jdk17", "17.0.2"}},
         {{kJdk, "11.0.2"}},
         "1.7",
         {"c:\\jdk11"}},
        {"the higher current version of the pair, 11 above 9",
         {{kJdk, "11", "c:\\jdk11", "11.0.2"}, {kJre, "9", "c:\\jre9", "9.0.4"}},
         {{kJdk, "11"}, {kJre, "9"}},
         "1.7",
         {"c:\\jdk11"}},
        {"runtimes before JDKs",
         {{kJdk, "21", "c:\\gone21", ""}, {kJre, "17", "c:\\jre17", "17.0.2"}},
         {},
         "1.7",
         {"c:\\jre17"}},
        {"names below the minimum are never asked",
         {{kJdk, "9.0.4", "c:\\jdk9", "9.0.4"}, {kJdk, "17", "c:\\jdk17", "17.0.2"}},
         {{kJdk, "9.0.4"}},
         "11",
         {"c:\\jdk17"}},
        {"the classic keys come first",
         {{kClassicJre, "1.8", "c:\\jre8", "1.8.0_292"}, {kJdk, "17", "c:\\jdk17", "17.0.2"}},
         {},
         "1.7",
         {"c:\\jre8"}},
        {"and then the modern ones",
         {{kClassicJre, "1.8", "c:\\gone8", ""}, {kJdk, "17", "c:\\jdk17", "17.0.2"}},
         {},
         "1.7",
         {"c:\\gone8", "c:\\jdk17"}},
        {"read in the process's own registry view only",
         {{kJdk, "17", "c:\\jdk17", "17.0.2", RegistryView::Registry32}},
         {},
         "1.7",
         {}},
    };
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

TEST(ModernJdks, AJdkIsKnownByToolsOrForJava9AndLaterByItsCompiler) {
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
    const Case cases[] = {
        {"1.8 JDK with tools",
         {"\\lib\\tools.jar", "\\jre\\bin\\java.exe", "\\bin\\javac.exe"},
         "1.8.0_292",
         "1.7",
         true,
         classic,
         true},
        {"17 JDK", {"\\bin\\java.exe", "\\bin\\javac.exe"}, "17.0.2", "1.7", true, modern, true},
        {"17 runtime without a compiler", {"\\bin\\java.exe"}, "17.0.2", "1.7", true, {}, false},
        {"a compiler beside a 1.8 runtime is no JDK without tools",
         {"\\bin\\java.exe", "\\bin\\javac.exe"},
         "1.8.0_292",
         "1.7",
         true,
         {},
         true},
        {"the configured minimum still counts",
         {"\\bin\\java.exe", "\\bin\\javac.exe"},
         "17.0.2",
         "21",
         true,
         {},
         true},
        {"no JDK required",
         {"\\bin\\java.exe", "\\bin\\javac.exe"},
         "1.8.0_292",
         "1.7",
         false,
         modern,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeMachine m;
        m.setConfig(kSearchSequence, "EJAVA_HOME");
        m.setConfig(kMinJavaVersion, c.minimum);
        m.setConfig(kJdkRequired, c.jdkRequired ? "1" : "0");
        m.setVariable("JAVA_HOME", "c:\\jdk");
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
