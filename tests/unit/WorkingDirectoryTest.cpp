#include "launcher/StartupSequence.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::launcher {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::u16string kModule = u"C:\\apps\\tool\\run.exe";
const std::u16string kUnicodeModule = u"C:\\apps\\\u0416tool\\run.exe";

struct Case {
    const char* name;
    std::optional<std::string> key146;
    std::u16string module = kModule;
    bool languageRestart = false;
    std::optional<std::u16string> changedTo; // nullopt: no change
};

class WorkingDirectoryTest : public testing::TestWithParam<Case> {};

TEST_P(WorkingDirectoryTest, KeyDecidesTheWorkingDirectory) {
    const Case& c = GetParam();
    test::FakePlatform fake;
    fake.process.moduleFile = c.module;
    fake.files.shortPaths[kUnicodeModule] = u"C:\\apps\\ZTOOL~1\\run.exe";
    fake.environment.variables["TMP"] = "C:\\Logs";
    fake.environment.variables["QELVO_LOG"] = "yes";
    fake.files.addDirectory("C:\\Logs");
    test::ConfigBlockBuilder block;
    block.narrow(107, "1");
    if (c.key146)
        block.narrow(146, *c.key146);
    fake.files.addFile(c.module, test::buildLauncherImage(block.build()).bytes);
    LaunchContext ctx(fake.platform());
    ctx.arguments = {c.module};
    ctx.languageRestart = c.languageRestart;
    initLauncher(ctx, nullptr);
    std::string log = fake.files.text(u"C:\\Logs\\kwn_nlog_1");
    if (c.changedTo) {
        EXPECT_THAT(fake.files.currentDirectoryChanges, ElementsAre(*c.changedTo));
        EXPECT_THAT(
            log, HasSubstr("\nchange working directory to " + test::narrow(*c.changedTo) + "\n"));
    } else {
        EXPECT_THAT(fake.files.currentDirectoryChanges, IsEmpty());
        EXPECT_THAT(log, Not(HasSubstr("change working directory")));
    }
    bool unchanged = log.find("\nworking directory unchanged\n") != std::string::npos;
    EXPECT_EQ(unchanged, !c.changedTo && !c.languageRestart);
}

INSTANTIATE_TEST_SUITE_P(
    Key146, WorkingDirectoryTest,
    testing::Values(
        Case{"RelativeToTheLauncherCaseKept", "..\\Data", kModule, false, u"C:\\apps\\Data"},
        Case{"Expanded", "${launcher:sys.launcherDirectory}Work\\.", kModule, false,
             u"C:\\apps\\tool\\Work"},
        Case{"AbsoluteCollapsed", "D:\\Shared\\\\Data", kModule, false, u"D:\\Shared\\Data"},
        Case{"NarrowSafeLauncherDirectory", "data", kUnicodeModule, false,
             u"C:\\apps\\ZTOOL~1\\data"},
        Case{"EmptyLeavesItUnchanged", "", kModule, false, std::nullopt},
        Case{"AbsentLeavesItUnchanged", std::nullopt, kModule, false, std::nullopt},
        Case{"LanguageRestartSkipsTheStep", "..\\Data", kModule, true, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kwn::launcher
