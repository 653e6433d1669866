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
    bool check(const std::string& minimum = "1.7") {
        path = kJava;
        return checkJavaExe(ctx, path, version, {minimum, ""}, false);
    }
    std::string cached() const {
        auto value = fake.registry.value(
            platform::RegistryRoot::CurrentUser,
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
        {notices, 0, false, "", none, "\nExit Code 0\ncouldn't get version\n"},
        {"Picked up X: y\n" + banner("1.8.0_20"), 0, false, "", none, "couldn't get"},
        {"java version \"\n", 0, false, "", none, "couldn't get"},
        {"", 0, false, "", none, "\nExit Code 0\ncouldn't get version\n"},
        {"java version \"" + std::string(120, '9') + "\"\n", 0, false, longest, longest, "Java"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.substr(0, 30));
        Probe p(c.output, c.exitCode, c.hangs);
        EXPECT_EQ(p.check(), !c.version.empty());
        EXPECT_EQ(p.version, c.version);
        EXPECT_EQ(p.cached(), c.cached);
        EXPECT_THAT(p.logText(), HasSubstr(c.logged));
        EXPECT_THAT(p.fake.programs.waits, ElementsAre(60000u));
        EXPECT_EQ(p.fake.programs.terminations.size(), c.hangs ? 1u : 0u);
        EXPECT_FALSE(p.fake.files.hasFile(kOutput));
    }
}

TEST(JavaExecutable, TheCacheSparesProbingAnUnchangedExecutable) {
    Probe p(banner("1.7.0_21"));
    EXPECT_FALSE(p.check("1.8")); // a rejected version is cached all the same
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.version, "1.7.0_21");
    EXPECT_THAT(p.logged("got version from registry "), ElementsAre("1.7.0_21"));
    EXPECT_EQ(p.fake.programs.starts.size(), 1u);

    p.fake.files.lastWriteTimes[u"c:\\jre\\bin\\java.exe"] = kStamp + 1;
    p.fake.programs.children[kProbe].errorOutput = banner("1.8.0_05");
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.cached(), "1.8.0_05");
    ProbeCache(p.fake.registry).write(kJava, kStamp + 1, "1.0.0"); // an earlier probe failed
    EXPECT_TRUE(p.check());
    EXPECT_EQ(p.fake.programs.starts.size(), 3u);
    EXPECT_EQ(p.version, "1.8.0_05");
}

// Only an accepted candidate of a windowed launcher (type 1) moves to javaw.exe, which must exist.
TEST(JavaExecutable, WindowedLauncherSwitchesToJavaw) {
    const std::string javaw = "c:\\jre\\bin\\javaw.exe";
    for (auto [type, javawExists, version, accepted, path] :
         {std::tuple{"1", false, "1.8.0_20", false, javaw},
          {"1", true, "1.8.0_20", true, javaw},
          {"1", true, "1.6.0_45", false, kJava},
          {"2", true, "1.8.0_20", true, kJava}}) {
        SCOPED_TRACE(std::string(type) + version);
        Probe p(banner(version));
        p.setConfig(config::key::kLauncherType, type);
        if (javawExists)
            p.fake.files.addFile(javaw, "MZ");
        EXPECT_EQ(p.check(), accepted);
        EXPECT_EQ(p.path, path);
    }
}

// The console host may hold the output file for a while after the probe has ended.
TEST(JavaExecutable, OutputFileIsDeletedOnceReleasedOrAfterAHundredTries) {
    for (auto [error, releasedAfter, attempts, sleeps] :
         {std::tuple{32u, 3, 4u, 3u}, {32u, 0, 100u, 100u}, {5u, 0, 1u, 0u}}) {
        SCOPED_TRACE(std::to_string(error) + " " + std::to_string(releasedAfter));
        Probe p(banner("1.8.0_20"));
        p.fake.files.deleteErrors[u"C:\\Users\\a\\AppData\\Local\\Temp\\qvo1A2B.tmp"] = error;
        p.fake.system.onSleep = [&p, releasedAfter, sleeps = 0]() mutable {
            if (++sleeps == releasedAfter)
                p.fake.files.deleteErrors.clear();
        };
        EXPECT_EQ(runJavaVersion(p.ctx, kJava, kStamp), "1.8.0_20");
        EXPECT_EQ(p.fake.files.deleteCalls.size(), attempts);
        EXPECT_EQ(p.fake.system.calls, std::vector<std::string>(sleeps, "sleep 10"));
        EXPECT_EQ(p.fake.files.hasFile(kOutput), releasedAfter == 0);
        EXPECT_EQ(p.logged("could not delete " + kOutput + " (error 32)").size(), attempts / 100);
    }
}

} // namespace
} // namespace kwn::jvm
