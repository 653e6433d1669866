#include "jvm/JavaExecutable.h"

#include "RuntimeMachine.h"
#include "jvm/ProbeCache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using test::banner;
using testing::ElementsAre;
using testing::HasSubstr;

const std::string kJava = "c:\\jre\\bin\\java.exe";
const std::string kProbe = kJava + " -version";
const std::string kOutput = "C:\\Users\\a\\AppData\\Local\\Temp\\qvo1A2B.tmp";
constexpr std::uint64_t kStamp = 0x01D2C3B4A5968778;

// c:\jre\bin\java.exe, whose probe prints output on standard error.
struct Probe : test::RuntimeMachine {
    explicit Probe(const std::string& output, std::uint32_t exitCode = 0, bool hangs = false) {
        fake.files.addFile(kJava, "MZ");
        fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp;
        fake.programs.children[kProbe] = {output, exitCode, hangs, nullptr};
    }
    bool check(const std::string& given = kJava, bool allowPreRelease = false,
               const std::string& minimum = "1.7") {
        path = given;
        return checkJavaExe(ctx, path, version, {minimum, ""}, allowPreRelease);
    }
    std::optional<std::string> cached() const {
        auto value = fake.registry.value(platform::RegistryRoot::CurrentUser,
                                         "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/"
                                         "java.exe",
                                         "Version");
        return value ? std::optional<std::string>({value->data.begin(), value->data.end()})
                     : std::nullopt;
    }
    std::string path, version;
};

TEST(JavaExecutable, VersionIsTheBannerTextButItsLastTwoCharacters) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"java version \"1.7.0_21\"\n", "1.7.0_21"},
        {"openjdk version \"1.8.0_292\"\n", "1.8.0_292"},
        {"openjdk version \"11.0.2\" 2019-01-15\n", "11.0.2\" 2019-01-1"},
        {"java version \"\"\n", ""},
        {"java version \"\n", std::nullopt},
        {"Error: could not find java.dll\n", std::nullopt},
        {" java version \"1.8.0\"\n", std::nullopt},
        {"Java version \"1.8.0\"\n", std::nullopt},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(versionFromBanner(line), expected);
    }
}

TEST(JavaExecutable, HomePrefersItsJreAndAJdkNeedsItsTools) {
    struct Case {
        std::vector<const char*> files;
        bool jdkRequired;
        std::string path;
        bool derived;
    };
    const Case cases[] = {
        {{"\\jre\\bin\\java.exe", "\\bin\\java.exe"}, false, "c:\\h\\jre\\bin\\java.exe", true},
        {{"\\bin\\java.exe"}, false, "c:\\h\\bin\\java.exe", true},
        {{}, false, "c:\\h\\bin\\java.exe", true},
        {{"\\lib\\tools.jar", "\\bin\\java.exe"}, true, "c:\\h\\jre\\bin\\java.exe", true},
        {{"\\jre\\bin\\java.exe", "\\bin\\java.exe"}, true, "c:\\h\\jre\\bin\\java.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + (c.jdkRequired ? " JDK" : ""));
        test::RuntimeMachine m;
        m.setConfig(config::key::kJdkRequired, c.jdkRequired ? "1" : "0");
        for (const char* file : c.files)
            m.fake.files.addFile(std::string("c:\\h") + file, "x");
        std::string path;
        EXPECT_EQ(javaExeFromHome(m.ctx, "c:\\h", path), c.derived);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(javaExeFromHome(m.ctx, "c:\\h"),
                  c.derived ? std::optional(c.path) : std::nullopt);
    }
}

TEST(JavaExecutable, ProbeRunsHiddenAndItsOutcomeIsCachedUnlessItHung) {
    struct Case {
        const char* name;
        std::string output;
        std::uint32_t exitCode;
        bool hangs;
        std::optional<std::string> version, cached;
        std::string logged;
    };
    const std::string notices = "Picked up JDK_JAVA_OPTIONS: --add-opens=" + std::string(300, 'x') +
                                "\nPicked up JAVA_TOOL_OPTIONS: -Xss2m\n"
                                "Picked up _JAVA_OPTIONS: -Xmx1g\n";
    const Case cases[] = {
        {"banner", banner("1.8.0_20"), 0, false, "1.8.0_20", "1.8.0_20",
         "\ntempFile is " + kOutput +
             "\nExit Code 0\nJava version: 1.8.0_20\n"
             "got version from execution 1.8.0_20\ncheckJavaExe returning 1\n"},
        {"failed",
         banner("1.8.0_20"),
         1,
         false,
         {},
         "1.0.0",
         "\nExit Code 1\ncouldn't get version"},
        {"hung",
         banner("1.8.0_20"),
         0,
         true,
         {},
         {},
         "\nExit Code 259\nTerminating process\ncouldn't"},
        {"three notices", notices + "openjdk version \"17.0.2\" 2022-01-18\n", 0, false,
         "17.0.2\" 2022-01-1", "17.0.2\" 2022-01-1", "Java version: 17"},
        {"only notices", notices, 0, false, {}, {}, "\nExit Code 0\ncouldn't get version\n"},
        {"unknown notice", "Picked up X: y\n" + banner("1.8.0_20"), 0, false, {}, {}, "couldn't"},
        {"silent", "", 0, false, {}, {}, "\nExit Code 0\ncouldn't get version\n"},
        {"runaway line", "java version \"" + std::string(120, '9') + "\"\n", 0, false,
         std::string(83, '9'), std::string(83, '9'), "\nJava version: 999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Probe p(c.output, c.exitCode, c.hangs);
        EXPECT_EQ(p.check(), c.version.has_value());
        EXPECT_EQ(p.version, c.version.value_or(""));
        EXPECT_EQ(p.cached(), c.cached);
        EXPECT_THAT(p.logText(), HasSubstr(c.logged));
        ASSERT_EQ(p.fake.programs.starts.size(), 1u);
        EXPECT_EQ(p.fake.programs.starts[0].commandLine, kProbe);
        EXPECT_EQ(p.fake.programs.starts[0].errorOutputFile, kOutput);
        EXPECT_THAT(p.fake.programs.waits, ElementsAre(60000u));
        EXPECT_EQ(p.fake.programs.terminations, std::vector<std::uint32_t>(c.hangs ? 1 : 0, 1u));
        EXPECT_FALSE(p.fake.files.hasFile(kOutput));
    }
}

TEST(JavaExecutable, TheCacheSparesProbingAnUnchangedExecutable) {
    Probe p(banner("1.7.0_21"));
    EXPECT_FALSE(p.check(kJava, false, "1.8")); // a rejected version is cached all the same
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.version, "1.7.0_21");
    EXPECT_THAT(p.logged("got version from registry "), ElementsAre("1.7.0_21"));
    EXPECT_EQ(p.fake.programs.starts.size(), 1u);

    p.fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp + 1;
    p.fake.programs.children[kProbe].errorOutput = banner("1.8.0_05");
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.version, "1.8.0_05");
    EXPECT_EQ(p.cached(), "1.8.0_05");
    ProbeCache(p.fake.registry).write(kJava, kStamp + 1, "1.0.0"); // an earlier probe failed
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.fake.programs.starts.size(), 3u);
    EXPECT_EQ(p.logged("got version from registry ").size(), 1u);
}

TEST(JavaExecutable, PathIsNormalisedAndAMissingFileNeverRuns) {
    Probe p(banner("1.8.0_20"));
    EXPECT_TRUE(p.check("C:\\Apps\\..\\JRE\\\\bin\\java.exe"));
    EXPECT_EQ(p.path, kJava);
    EXPECT_FALSE(p.check("JRE\\bin\\java.exe"));
    EXPECT_EQ(p.path, "c:\\apps\\tool\\jre\\bin\\java.exe");
    EXPECT_EQ(p.fake.programs.starts.size(), 1u);
    EXPECT_THAT(p.logText(), HasSubstr("\ncheckJavaExe (JRE\\bin\\java.exe, [out], 1.7, , 0)\n"
                                       "file doesn't exist\ncheckJavaExe returning 0\n"));
}

TEST(JavaExecutable, PreReleaseIsRefusedUnlessTheCallerOrKey130AllowsIt) {
    for (auto [allow, key130, accepted] :
         {std::tuple{false, "0", false}, std::tuple{true, "0", true},
          std::tuple{false, "1", true}}) {
        SCOPED_TRACE(std::to_string(allow) + key130);
        Probe p(banner("1.8.0-ea"));
        p.setConfig(config::key::kAllowPreRelease, key130);
        EXPECT_EQ(p.check(kJava, allow), accepted);
        EXPECT_EQ(p.logged("beta vm not allowed").size(), accepted ? 0u : 1u);
    }
}

// Only an accepted candidate of a windowed launcher (type 1) moves to javaw.exe, which must exist.
TEST(JavaExecutable, WindowedLauncherSwitchesToJavaw) {
    const std::string javaw = "c:\\jre\\bin\\javaw.exe";
    struct Case {
        const char* launcherType;
        bool javawExists;
        const char* version;
        bool accepted;
        std::string path;
    };
    const Case cases[] = {{"1", false, "1.8.0_20", false, javaw},
                          {"1", true, "1.8.0_20", true, javaw},
                          {"1", true, "1.6.0_45", false, kJava},
                          {"2", true, "1.8.0_20", true, kJava}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.launcherType) + " " + c.version);
        Probe p(banner(c.version));
        p.setConfig(config::key::kLauncherType, c.launcherType);
        if (c.javawExists)
            p.fake.files.addFile(javaw, "MZ");
        EXPECT_EQ(p.check(), c.accepted);
        EXPECT_EQ(p.path, c.path);
    }
}

TEST(JavaExecutable, ProbeUsesTheShortPathElseQuotesTheFullOne) {
    const std::string spaced = "c:\\program files\\java\\bin\\java.exe";
    Probe p("");
    p.fake.files.addFile(spaced, "MZ");
    p.fake.files.shortPaths[u"c:\\program files\\java\\bin\\java.exe"] = u"c:\\progra~1\\java.exe";
    p.fake.programs.children["c:\\progra~1\\java.exe -version"].errorOutput = banner("1.8.0_20");
    EXPECT_EQ(runJavaVersion(p.ctx, spaced, kStamp), "1.8.0_20");
    p.fake.files.withoutShortPath.insert(u"c:\\program files\\java\\bin\\java.exe");
    p.fake.programs.children["\"" + spaced + "\" -version"].errorOutput = banner("1.8.0_21");
    EXPECT_EQ(runJavaVersion(p.ctx, spaced, kStamp), "1.8.0_21");
}

// The console host may hold the output file for a while after the probe has ended.
TEST(JavaExecutable, OutputFileIsDeletedOnceReleasedOrAfterAHundredTries) {
    struct Case {
        std::uint32_t error;
        int releasedAfterSleeps; // 0: never
        size_t attempts, sleeps;
        bool complaint;
    };
    for (const Case& c :
         {Case{32, 3, 4, 3, false}, Case{32, 0, 100, 100, true}, Case{5, 0, 1, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.error) + " " + std::to_string(c.releasedAfterSleeps));
        Probe p(banner("1.8.0_20"));
        p.fake.files.deleteErrors[u"C:\\Users\\a\\AppData\\Local\\Temp\\qvo1A2B.tmp"] = c.error;
        p.fake.system.onSleep = [&p, &c, sleeps = 0]() mutable {
            if (++sleeps == c.releasedAfterSleeps)
                p.fake.files.deleteErrors.clear();
        };
        EXPECT_EQ(runJavaVersion(p.ctx, kJava, kStamp), "1.8.0_20");
        EXPECT_EQ(p.fake.files.deleteCalls.size(), c.attempts);
        EXPECT_EQ(p.fake.system.calls, std::vector<std::string>(c.sleeps, "sleep 10"));
        EXPECT_EQ(p.fake.files.hasFile(kOutput), c.releasedAfterSleeps == 0);
        EXPECT_EQ(!p.logged("could not delete " + kOutput + " (error 32)").empty(), c.complaint);
    }
}

TEST(JavaExecutable, ChildThatCannotStartLeavesNoOutputFile) {
    Probe p("");
    p.fake.programs.children.clear();
    p.fake.programs.startError = 193;
    EXPECT_EQ(runJavaVersion(p.ctx, kJava, kStamp), std::nullopt);
    EXPECT_THAT(p.fake.files.deleteCalls, ElementsAre(kOutput));
    EXPECT_THAT(p.logged("Could not create process "),
                ElementsAre(kProbe + " > " + kOutput + " (error 193)"));
}

} // namespace
} // namespace kwn::jvm
