#include "windows/MainArguments.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

using Arguments = std::vector<std::u16string>;
using Settings = std::vector<std::pair<config::Key, std::string>>;

class MainArgumentsTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\run.exe";
        fake.files.addFile(u"C:\\apps\\run.exe", "MZ");
    }
    Arguments build(const Settings& settings, Arguments commandLine) {
        for (const auto& [key, value] : settings)
            ctx.config.setNarrow(key, value);
        ctx.arguments = std::move(commandLine);
        return buildMainArguments(ctx);
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

// Both logs passed, windowed type, no fixed arguments: the layout the entry class relies on.
const Settings kTypical = {{107, "1"}, {122, "app.Main"},   {102, "1"}, {103, "error.log"},
                           {104, "1"}, {105, "output.log"}, {106, "0"}};

TEST_F(MainArgumentsTest, LeadingArgumentsThenProgramPathThenUserArguments) {
    EXPECT_THAT(build(kTypical, {u"run.exe", u"a", u"b"}),
                ElementsAre(u"true", u"app.Main", u"C:\\apps\\error.log", u"C:\\apps\\output.log",
                            u"false", u"run.exe", u"a", u"b"));
}

TEST_F(MainArgumentsTest, FlagsAndLogPathsFollowTheirKeys) {
    struct Case {
        const char* name;
        Settings settings;
        Arguments leading; // the first five arguments
    };
    const Case cases[] = {
        {"nothing configured", {}, {u"false", u"", u"", u"", u"false"}},
        {"type other than 1", {{107, "2"}, {106, "7"}}, {u"false", u"", u"", u"", u"true"}},
        {"paths without their pass flags",
         {{103, "e.log"}, {105, "o.log"}},
         {u"false", u"", u"", u"", u"false"}},
        {"output log only",
         {{104, "1"}, {105, "o.log"}, {103, "e.log"}},
         {u"false", u"", u"", u"C:\\apps\\o.log", u"false"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform platform;
        platform.process.moduleFile = u"C:\\apps\\run.exe";
        launcher::LaunchContext context(platform.platform());
        for (const auto& [key, value] : c.settings)
            context.config.setNarrow(key, value);
        context.arguments = {u"run.exe"};
        Arguments expected = c.leading;
        expected.push_back(u"run.exe");
        EXPECT_EQ(buildMainArguments(context), expected);
    }
}

TEST_F(MainArgumentsTest, LogPathsAreExpandedAndNormalisedUnlessTheyStartWithADollar) {
    fake.environment.variables["LOGDIR"] = "$appdata";
    fake.environment.variables["LOGS"] = "D:\\Logs\\\\Here";
    struct Case {
        const char* configured;
        const char16_t* passed;
    };
    const Case cases[] = {
        {"${user.home}\\err.log", u"${user.home}\\err.log"},
        {"${LOGDIR}\\err.log", u"$appdata\\err.log"},
        {"$", u"$"},
        {"Logs\\..\\Err.LOG", u"C:\\apps\\Err.LOG"},
        {"${LOGS}\\run.log", u"D:\\Logs\\Here\\run.log"},
        {"%QELVO_EXEDIR%\\x\\\\y.log", u"C:\\apps\\x\\y.log"},
        {"x$.log", u"C:\\apps\\x$.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured);
        EXPECT_EQ(resolveLogPath(ctx, test::widen(c.configured)), c.passed);
    }
    Arguments list = build({{102, "1"}, {103, "${log}"}, {104, "1"}, {105, "${LOGDIR}"}}, {});
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list[2], u"${log}");
    EXPECT_EQ(list[3], u"$appdata");
}

TEST_F(MainArgumentsTest, VmOptionArgumentsAreHeldBackOnlyWhenTheVmTakesThem) {
    const Arguments commandLine = {u"run.exe", u"-J-Xmx1g", u"x", u"-J", u"-j-lower", u"a-J"};
    Arguments accepted = build({{125, "1"}}, commandLine);
    EXPECT_THAT(Arguments(accepted.begin() + 6, accepted.end()),
                ElementsAre(u"x", u"-j-lower", u"a-J"));

    ctx.config.setNarrow(125, "0");
    Arguments refused = buildMainArguments(ctx);
    EXPECT_THAT(Arguments(refused.begin() + 6, refused.end()),
                ElementsAre(u"-J-Xmx1g", u"x", u"-J", u"-j-lower", u"a-J"));
}

TEST_F(MainArgumentsTest, LocaleFormatArgumentNeverReachesMain) {
    for (const char* accept : {"0", "1"}) {
        SCOPED_TRACE(accept);
        ctx.config.setNarrow(125, accept);
        ctx.arguments = {u"run.exe",
                         u"-Dsun.locale.formatasdefault=true",
                         u"a",
                         u"-Dsun.locale.formatasdefault=false",
                         u"-Dsun.locale.formatasdefault",
                         u"-dsun.locale.formatasdefault=true"};
        Arguments list = buildMainArguments(ctx);
        EXPECT_THAT(Arguments(list.begin() + 6, list.end()),
                    ElementsAre(u"a", u"-Dsun.locale.formatasdefault",
                                u"-dsun.locale.formatasdefault=true"));
    }
}

TEST_F(MainArgumentsTest, FixedArgumentsAreExpandedSplitAndGoBeforeTheUserArguments) {
    fake.environment.variables["MODE"] = "fast";
    Arguments list =
        build({{124, "-mode=${MODE} \"two words\" 'x y'z %QELVO_EXEDIR%"}}, {u"run.exe", u"user"});
    EXPECT_THAT(Arguments(list.begin() + 6, list.end()),
                ElementsAre(u"-mode=fast", u"two words", u"x y", u"z", u"C:\\apps\\", u"user"));
}

// Main sees the Unicode launcher directory, not the form cut down for the ANSI code page.
TEST_F(MainArgumentsTest, ExpansionUsesTheUnicodeLauncherDirectory) {
    const std::u16string directory = u"C:\\\u05D0\u05E4\u05DC\\";
    fake.process.moduleFile = directory + u"run.exe";
    fake.files.addFile(directory + u"run.exe", "MZ");
    fake.files.shortPaths[u"C:\\\u05D0\u05E4\u05DC"] = u"C:\\APP~1";
    Arguments list = build({{124, "%QELVO_EXEDIR%"}, {102, "1"}, {103, "e.log"}}, {u"run.exe"});
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[2], directory + u"e.log");
    EXPECT_EQ(list[6], directory);
}

TEST_F(MainArgumentsTest, FixedArgumentsAreReadUpTo1999Characters) {
    std::string fixed(1999, 'f');
    Arguments list = build({{124, fixed + "gh"}}, {u"run.exe"});
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[6], test::widen(fixed));
}

TEST_F(MainArgumentsTest, WithoutUserArgumentsOnlyTheLeadingAndFixedOnesRemain) {
    const Settings settings = {{107, "1"}, {122, "app.Main"}, {124, "-x"}};
    EXPECT_THAT(build(settings, {u"run.exe"}),
                ElementsAre(u"true", u"app.Main", u"", u"", u"false", u"run.exe", u"-x"));
    // An empty list has no program path to pass.
    EXPECT_THAT(build(settings, {}), ElementsAre(u"true", u"app.Main", u"", u"", u"false", u"-x"));
}

TEST_F(MainArgumentsTest, UserArgumentsPassUnchangedAndInOrder) {
    const Arguments user = {u"",        u"  spaced  ",   u"\"quoted\"",
                            u"${MODE}", u"\u4E2D\u6587", u"-Dother=1"};
    fake.environment.variables["MODE"] = "fast";
    Arguments commandLine = {u"C:\\Program Files\\run.exe"};
    commandLine.insert(commandLine.end(), user.begin(), user.end());
    Arguments list = build({}, commandLine);
    ASSERT_EQ(list.size(), 6u + user.size());
    EXPECT_EQ(list[5], u"C:\\Program Files\\run.exe");
    EXPECT_THAT(Arguments(list.begin() + 6, list.end()), ElementsAreArray(user));
}

} // namespace
} // namespace kwn::windows
