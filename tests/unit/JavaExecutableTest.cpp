#include "jvm/JavaExecutable.h"

#include "fake/LoggedLaunchTest.h"
#include "jvm/ProbeCache.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using test::widen;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::string kTemp = "C:\\Users\\a\\AppData\\Local\\Temp\\";
const std::string kOutputFile = kTemp + "qvo1A2B.tmp"; // the fake's first temp file name
const std::string kJava = "c:\\jre\\bin\\java.exe";
const std::string kProbe = kJava + " -version";
constexpr std::uint64_t kStamp = 0x01D2C3B4A5968778;

std::string banner(const std::string& version) {
    return "java version \"" + version + "\"\nJava(TM) SE Runtime Environment\n";
}

class JavaExecutableTest : public test::LoggedLaunchTest {
protected:
    JavaExecutableTest() : LoggedLaunchTest(u"C:\\apps\\tool.exe") {}
    void SetUp() override {
        fake.files.addDirectory(kTemp);
        addFile(kJava);
    }
    // Every probe's output file is gone once the probe is over.
    bool tempFilesLeft() const {
        for (const auto& [path, file] : fake.files.files)
            if (path.starts_with(widen(kTemp)))
                return true;
        return false;
    }
    void addFile(const std::string& path, std::uint64_t stamp = kStamp) {
        fake.files.addFile(path, "MZ");
        fake.files.lastWriteTimes[widen(path)] = stamp;
    }
    void script(const std::string& commandLine, const std::string& output,
                std::uint32_t exitCode = 0, bool hangs = false) {
        fake.programs.children[commandLine] = {output, exitCode, hangs, nullptr};
    }
    bool check(std::string& path, const VersionBounds& bounds = {"1.7", ""},
               bool allowPreRelease = false) {
        return checkJavaExe(ctx, path, version, bounds, allowPreRelease);
    }
    std::optional<std::string> cachedVersion(const std::string& exe = kJava) {
        auto value = fake.registry.value(RegistryRoot::CurrentUser, probeCacheKey(exe), "Version");
        if (!value)
            return std::nullopt;
        return std::string(value->data.begin(), value->data.end());
    }

    std::string version;
};

TEST(VersionFromBanner, TakesTheTextBehindEitherPrefixButItsLastTwoCharacters) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"java version \"1.7.0_21\"\n", "1.7.0_21"},
        {"openjdk version \"1.8.0_292\"\n", "1.8.0_292"},
        {"openjdk version \"11.0.2\" 2019-01-15\n", "11.0.2\" 2019-01-1"},
        {"java version \"\"\n", ""},
        {"java version \"\n", std::nullopt}, // too short to hold a quote and a line end
        {"java version \"", std::nullopt},
        {"Error: could not find java.dll\n", std::nullopt},
        {"openjdk version 17\n", std::nullopt},
        {" java version \"1.8.0\"\n", std::nullopt},
        {"Java version \"1.8.0\"\n", std::nullopt},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(versionFromBanner(line), expected);
    }
}

TEST(JavaExeFromHome, PrefersTheJdksRuntimeAndKey131AsksForTools) {
    struct Case {
        const char* name;
        std::vector<const char*> files;
        bool jdkRequired;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"jre\\bin before bin",
         {"\\jre\\bin\\java.exe", "\\bin\\java.exe"},
         false,
         "c:\\h\\jre\\bin\\java.exe"},
        {"bin alone", {"\\bin\\java.exe"}, false, "c:\\h\\bin\\java.exe"},
        {"nothing there", {}, false, "c:\\h\\bin\\java.exe"},
        {"JDK with tools",
         {"\\lib\\tools.jar", "\\bin\\java.exe"},
         true,
         "c:\\h\\jre\\bin\\java.exe"},
        {"no tools", {"\\jre\\bin\\java.exe", "\\bin\\java.exe"}, true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform os;
        launcher::LaunchContext home{os.platform()};
        home.config.setNarrow(131, c.jdkRequired ? "1" : "0");
        for (const char* file : c.files)
            os.files.addFile(std::string("c:\\h") + file, "x");
        EXPECT_EQ(javaExeFromHome(home, "c:\\h"), c.expected);
    }
}

TEST_F(JavaExecutableTest, JavaExeFromHomeGivesTheJdkPathEvenWithoutTools) {
    ctx.config.setNarrow(131, "1");
    std::string path;
    EXPECT_FALSE(javaExeFromHome(ctx, "c:\\jdk", path));
    EXPECT_EQ(path, "c:\\jdk\\jre\\bin\\java.exe");
}

TEST_F(JavaExecutableTest, MissingFileIsRejectedWithoutRunningAnything) {
    std::string path = "C:\\Apps\\..\\Other\\bin\\java.exe";
    EXPECT_FALSE(check(path));
    EXPECT_EQ(path, "c:\\other\\bin\\java.exe");
    EXPECT_THAT(fake.programs.starts, IsEmpty());
    EXPECT_THAT(logText(), HasSubstr("\ncheckJavaExe (C:\\Apps\\..\\Other\\bin\\java.exe, [out], "
                                     "1.7, , 0)\nfile doesn't exist\ncheckJavaExe returning 0\n"));
}

TEST_F(JavaExecutableTest, RelativePathIsTakenFromTheLauncherDirectoryAndLowered) {
    addFile("c:\\apps\\jre\\bin\\java.exe");
    script("c:\\apps\\jre\\bin\\java.exe -version", banner("1.8.0_20"));
    std::string path = "JRE\\\\bin\\java.exe";
    EXPECT_TRUE(check(path));
    EXPECT_EQ(path, "c:\\apps\\jre\\bin\\java.exe");
}

TEST_F(JavaExecutableTest, ProbeRunsHiddenWithStandardErrorInATempFileAndCachesTheVersion) {
    script(kProbe, banner("1.8.0_20"));
    std::string path = "C:\\JRE\\bin\\java.exe";
    EXPECT_TRUE(check(path, {"1.7", ""}, true));
    EXPECT_EQ(version, "1.8.0_20");
    ASSERT_EQ(fake.programs.starts.size(), 1u);
    EXPECT_EQ(fake.programs.starts[0].commandLine, kProbe);
    EXPECT_EQ(fake.programs.starts[0].errorOutputFile, kOutputFile);
    EXPECT_THAT(fake.programs.waits, ElementsAre(60000u));
    EXPECT_FALSE(fake.files.hasFile(kOutputFile));
    EXPECT_EQ(cachedVersion(), "1.8.0_20");
    EXPECT_THAT(logText(), HasSubstr("\ncheckJavaExe (C:\\JRE\\bin\\java.exe, [out], 1.7, , 1)\n"
                                     "file exists\n"));
    EXPECT_THAT(logText(),
                HasSubstr("\ntempFile is " + kOutputFile +
                          "\nExit Code 0\nJava version: 1.8.0_20\n"
                          "got version from execution 1.8.0_20\ncheckJavaExe returning 1\n"));
}

// The console host of a console child may still hold the output file when the child is gone.
TEST_F(JavaExecutableTest, OutputFileHeldForAWhileIsStillDeleted) {
    const std::u16string held = test::widen(kOutputFile);
    struct Case {
        std::uint32_t error;
        int releasedAfterSleeps; // 0: never released
        size_t attempts;
        bool leftBehind;
    };
    const Case cases[] = {{32, 3, 4, false}, {32, 0, 100, true}, {5, 0, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        fake.files.deleteCalls.clear();
        fake.files.tempFileCounter = 0x1A2B; // the same output file name each time
        size_t logBefore = logText().size();
        fake.files.deleteErrors[held] = c.error;
        int sleeps = 0;
        fake.system.onSleep = [&] {
            if (++sleeps == c.releasedAfterSleeps)
                fake.files.deleteErrors.erase(held);
        };
        script(kProbe, banner("1.8.0_20"));
        std::string path = "C:\\JRE\\bin\\java.exe";
        fake.registry.keys.clear(); // probe every time
        EXPECT_TRUE(check(path, {"1.7", ""}, true));
        EXPECT_EQ(fake.files.deleteCalls.size(), c.attempts);
        EXPECT_EQ(fake.files.hasFile(kOutputFile), c.leftBehind);
        EXPECT_EQ(logText().find("could not delete " + kOutputFile, logBefore) != std::string::npos,
                  c.leftBehind && c.error == 32);
        fake.files.deleteErrors.clear();
        fake.files.deleteFile(kOutputFile);
    }
}

TEST_F(JavaExecutableTest, UnchangedExecutableIsJudgedFromTheCacheWithoutRunning) {
    script(kProbe, banner("1.8.0_20"));
    std::string first = kJava, second = kJava;
    EXPECT_TRUE(check(first));
    version.clear();
    EXPECT_TRUE(check(second));
    EXPECT_EQ(version, "1.8.0_20");
    EXPECT_EQ(fake.programs.starts.size(), 1u);
    EXPECT_THAT(logText(), HasSubstr("\ngot version from registry 1.8.0_20\n"));
}

TEST_F(JavaExecutableTest, ChangedLastWriteTimeProbesAgainAndRewritesTheEntry) {
    script(kProbe, banner("1.7.0_21"));
    std::string path = kJava;
    EXPECT_TRUE(check(path));
    fake.files.lastWriteTimes[widen(kJava)] = kStamp + 1;
    script(kProbe, banner("1.8.0_05"));
    EXPECT_TRUE(check(path));
    EXPECT_EQ(version, "1.8.0_05");
    EXPECT_EQ(fake.programs.starts.size(), 2u);
    EXPECT_EQ(cachedVersion(), "1.8.0_05");
    EXPECT_EQ(ProbeCache(fake.registry).read(kJava, kStamp + 1), "1.8.0_05");
}

TEST_F(JavaExecutableTest, CachedFailureMarkerLeadsToAFreshProbe) {
    ProbeCache(fake.registry).write(kJava, kStamp, "1.0.0");
    script(kProbe, banner("1.8.0_20"));
    std::string path = kJava;
    EXPECT_TRUE(check(path));
    EXPECT_EQ(fake.programs.starts.size(), 1u);
    EXPECT_EQ(cachedVersion(), "1.8.0_20");
    EXPECT_THAT(logText(), Not(HasSubstr("got version from registry")));
}

TEST_F(JavaExecutableTest, NonZeroExitCachesTheFailureMarker) {
    script(kProbe, banner("1.8.0_20"), 1);
    std::string path = kJava;
    EXPECT_FALSE(check(path));
    EXPECT_EQ(cachedVersion(), "1.0.0");
    EXPECT_FALSE(fake.files.hasFile(kOutputFile));
    EXPECT_THAT(logText(), HasSubstr("\nExit Code 1\ncouldn't get version\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("Java version")));
}

TEST_F(JavaExecutableTest, HungProbeIsTerminatedAndNothingIsCached) {
    script(kProbe, banner("1.8.0_20"), 0, true);
    std::string path = kJava;
    EXPECT_FALSE(check(path));
    EXPECT_THAT(fake.programs.terminations, ElementsAre(1u));
    EXPECT_FALSE(fake.registry.hasKey(RegistryRoot::CurrentUser, probeCacheKey(kJava)));
    EXPECT_FALSE(fake.files.hasFile(kOutputFile));
    EXPECT_THAT(logText(), HasSubstr("\nExit Code 259\nTerminating process\n"
                                     "couldn't get version\n"));
}

TEST_F(JavaExecutableTest, ChildThatCannotStartIsLoggedAndItsOutputFileRemoved) {
    fake.programs.startError = 193;
    std::optional<std::string> probed = runJavaVersion(ctx, kJava, kStamp);
    EXPECT_EQ(probed, std::nullopt);
    EXPECT_FALSE(fake.files.hasFile(kOutputFile));
    EXPECT_THAT(fake.files.deleteCalls, ElementsAre(kOutputFile));
    EXPECT_FALSE(fake.registry.hasKey(RegistryRoot::CurrentUser, probeCacheKey(kJava)));
    EXPECT_THAT(logText(), HasSubstr("\nCould not create process " + kProbe + " > " + kOutputFile +
                                     " (error 193)\n"));
}

TEST_F(JavaExecutableTest, RejectedVersionIsStillCached) {
    script(kProbe, banner("1.7.0_21"));
    std::string path = kJava;
    EXPECT_FALSE(check(path, {"1.8", ""}));
    EXPECT_EQ(version, "1.7.0_21");
    EXPECT_EQ(cachedVersion(), "1.7.0_21");
}

TEST_F(JavaExecutableTest, PreReleaseIsRefusedUnlessTheCallerOrKey130AllowsIt) {
    struct Case {
        bool allowPreRelease;
        const char* key130;
        bool accepted;
    };
    for (const Case& c : {Case{false, "0", false}, Case{true, "0", true}, Case{false, "1", true}}) {
        SCOPED_TRACE(std::string("allow ") + (c.allowPreRelease ? "1" : "0") + " key " + c.key130);
        ctx.config.setNarrow(130, c.key130);
        script(kProbe, banner("1.8.0-ea"));
        std::string path = kJava;
        size_t logged = logText().size();
        EXPECT_EQ(check(path, {"1.7", ""}, c.allowPreRelease), c.accepted);
        EXPECT_EQ(logText().find("beta vm not allowed", logged) != std::string::npos, !c.accepted);
    }
}

TEST_F(JavaExecutableTest, WindowedLauncherSwitchesToJavawWhichMustExist) {
    ctx.config.setNarrow(107, "1");
    script(kProbe, banner("1.8.0_20"));
    std::string path = kJava;
    EXPECT_FALSE(check(path));
    EXPECT_EQ(path, "c:\\jre\\bin\\javaw.exe");

    addFile("c:\\jre\\bin\\javaw.exe");
    path = kJava;
    EXPECT_TRUE(check(path));
    EXPECT_EQ(path, "c:\\jre\\bin\\javaw.exe");
}

TEST_F(JavaExecutableTest, OnlyAnAcceptedCandidateOfAWindowedLauncherIsSwitched) {
    addFile("c:\\jre\\bin\\javaw.exe");
    script(kProbe, banner("1.6.0_45"));
    ctx.config.setNarrow(107, "1");
    std::string rejected = kJava;
    EXPECT_FALSE(check(rejected));
    EXPECT_EQ(rejected, kJava);

    ctx.config.setNarrow(107, "2");
    script(kProbe, banner("1.8.0_20"));
    fake.files.lastWriteTimes[widen(kJava)] = kStamp + 1;
    std::string console = kJava;
    EXPECT_TRUE(check(console));
    EXPECT_EQ(console, kJava);
}

TEST_F(JavaExecutableTest, FullPathIsQuotedWhenThereIsNoShortPath) {
    const std::string spaced = "c:\\program files\\java\\bin\\java.exe";
    addFile(spaced);
    fake.files.shortPaths[widen(spaced)] = u"c:\\progra~1\\java\\bin\\java.exe";
    script("c:\\progra~1\\java\\bin\\java.exe -version", banner("1.8.0_20"));
    EXPECT_EQ(runJavaVersion(ctx, spaced, kStamp), "1.8.0_20");

    fake.files.withoutShortPath.insert(widen(spaced));
    script("\"" + spaced + "\" -version", banner("1.8.0_21"));
    EXPECT_EQ(runJavaVersion(ctx, spaced, kStamp), "1.8.0_21");
}

TEST_F(JavaExecutableTest, OptionsNoticesBeforeTheBannerAreSkipped) {
    const std::string longValue(300, 'x');
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8\n" + banner("1.8.0_20"), "1.8.0_20"},
        {"Picked up JDK_JAVA_OPTIONS: --add-opens=" + longValue +
             "\nPicked up JAVA_TOOL_OPTIONS: -Xss2m\nPicked up _JAVA_OPTIONS: -Xmx1g\n"
             "openjdk version \"17.0.2\" 2022-01-18\n",
         "17.0.2\" 2022-01-1"},
        {"Picked up _JAVA_OPTIONS: -Xmx1g\n", std::nullopt},
        {"Picked up SOMETHING_ELSE: x\n" + banner("1.8.0_20"), std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [output, expected] : cases) {
        SCOPED_TRACE(output.substr(0, 40));
        script(kProbe, output);
        EXPECT_EQ(runJavaVersion(ctx, kJava, kStamp), expected);
        EXPECT_FALSE(tempFilesLeft());
    }
}

TEST_F(JavaExecutableTest, BannerIsReadAsFarAsAHundredByteLineBuffer) {
    const std::string digits(120, '9');
    script(kProbe, "java version \"" + digits + "\"\n");
    std::optional<std::string> probed = runJavaVersion(ctx, kJava, kStamp);
    ASSERT_TRUE(probed);
    EXPECT_EQ(*probed, std::string(99 - 14 - 2, '9'));
}

} // namespace
} // namespace kwn::jvm
