#include "launcher/StartupSequence.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "launcher/ConsoleSetup.h"
#include "launcher/LauncherWidth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jni.h>

namespace kwn::launcher {
namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxStyle;
using test::ConfigBlockBuilder;
using test::exitCodeOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

using Arguments = std::vector<std::u16string>;

const std::u16string kModule = u"C:\\apps\\tool.exe";
const std::u16string kLogFile = u"C:\\Temp\\kwn_nlog_1";
const char kNoJvm[] = "No JVM could be found.\nPlease define QELVO_JAVA_HOME\nto point to an "
                      "installed {0}-bit JDK or JRE.";
constexpr int kExitNoJvm = 83;

// A windowed launcher of the second flavour, as the build tool writes one by default.
ConfigBlockBuilder windowedBlock() {
    return ConfigBlockBuilder()
        .narrow(1000, "Error")
        .narrow(1016, kNoJvm)
        .narrow(107, "1")
        .narrow(2001, "i");
}

std::u16string noJvmText() {
    std::string text = kNoJvm;
    return test::widen(text.replace(text.find("{0}"), 3, launcherWidth().bits));
}

// One start of a launcher file holding `block`, on a machine of its own, for tables of starts.
struct Start {
    explicit Start(const ConfigBlockBuilder& block, const std::u16string& commandLine = u"") {
        fake.process.moduleFile = kModule;
        fake.process.commandLineText = commandLine;
        fake.files.addFile(kModule, test::buildLauncherImage(block.build()).bytes);
    }
    std::optional<int> winMain(std::string_view tail) {
        return exitCodeOf([&] { launcher::winMain(ctx, nullptr, tail, 1); });
    }
    void init(Arguments arguments) {
        ctx.arguments = std::move(arguments);
        initLauncher(ctx, nullptr);
    }

    test::FakePlatform fake;
    LaunchContext ctx{fake.platform()};
};

class StartupTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = kModule;
        fake.process.commandLineText = u"\"C:\\apps\\tool.exe\"";
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.files.addDirectory(u"C:\\Temp");
    }
    void install(const ConfigBlockBuilder& block) {
        fake.files.addFile(kModule, test::buildLauncherImage(block.build()).bytes);
    }
    void commandLine(const std::u16string& userArguments) {
        fake.process.commandLineText = u"\"C:\\apps\\tool.exe\" " + userArguments;
    }
    // winMain's exit code when it ended the process, else nullopt and `returned` is set.
    std::optional<int> runWinMain(std::string_view tail) {
        return exitCodeOf([&] { returned = winMain(ctx, nullptr, tail, 1); });
    }
    std::string logText() const { return fake.files.text(kLogFile); }

    test::FakePlatform fake;
    LaunchContext ctx{fake.platform()};
    std::optional<int> returned;
};

TEST_F(StartupTest, RebootMarkerRebootsAndReadsNothing) {
    EXPECT_EQ(runWinMain("__kwn_reboot"), std::nullopt);
    EXPECT_EQ(returned, 0);
    EXPECT_THAT(fake.system.calls,
                ElementsAre("sleep 5000", "privilege SeShutdownPrivilege", "reboot"));
    EXPECT_EQ(fake.ui.commonControlsInits, 1);
    EXPECT_THAT(fake.files.readOpens, IsEmpty());
    EXPECT_THAT(fake.files.textOpens, IsEmpty());
    EXPECT_THAT(ctx.arguments, IsEmpty());
}

TEST_F(StartupTest, RebootOnlyWhenThePrivilegeWasGranted) {
    const std::optional<std::uint32_t> refusals[] = {1300u, std::nullopt};
    for (const std::optional<std::uint32_t>& refusal : refusals) {
        SCOPED_TRACE(refusal.value_or(0xFFFFFFFF));
        test::FakePlatform platform;
        platform.system.privilegeResult = refusal;
        LaunchContext context(platform.platform());
        EXPECT_EQ(winMain(context, nullptr, "__kwn_reboot", 1), 0);
        EXPECT_THAT(platform.system.calls,
                    ElementsAre("sleep 5000", "privilege SeShutdownPrivilege"));
    }
}

TEST_F(StartupTest, RebootMarkerMustBeTheWholeTail) {
    for (const char* tail : {"__kwn_reboot x", "__kwn_reboot ", " __kwn_reboot", "__KWN_REBOOT"}) {
        SCOPED_TRACE(tail);
        Start start(windowedBlock());
        EXPECT_EQ(start.winMain(tail), kExitNoJvm);
        EXPECT_THAT(start.fake.system.calls, IsEmpty());
    }
}

// The fake machine has no runtime anywhere: no search sequence, no location files, no
// variables, nothing in the registry or on the search path.
TEST_F(StartupTest, ValidBlockWithoutRuntimeEndsWithNoJvmMessage) {
    install(windowedBlock());
    commandLine(u"a \"b c\"");
    EXPECT_EQ(runWinMain("a \"b c\""), kExitNoJvm);
    EXPECT_EQ(ctx.arguments, (Arguments{kModule, u"a", u"b c"}));
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text, noJvmText());
    EXPECT_EQ(fake.ui.boxes[0].caption, u"Error");
    EXPECT_EQ(fake.ui.boxes[0].style, MessageBoxStyle::ErrorOk);
    EXPECT_EQ(fake.console.errorOutput, "");
    EXPECT_THAT(fake.programs.loads, IsEmpty());
}

TEST_F(StartupTest, NoRuntimeIsFoundBySearchingForOne) {
    install(windowedBlock());
    fake.environment.variables["QELVO_LOG"] = "yes";
    EXPECT_EQ(runWinMain(""), kExitNoJvm);
    EXPECT_THAT(logText(), HasSubstr("\nLoadDLL (1, (null), 0)\nSearching for a JVM\n"));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: No JVM found\n"));
}

// A VM library whose JNI_CreateJavaVM refuses, remembering what it was asked for.
struct CreationRequest {
    int calls = 0;
    jint version = 0;
    jboolean ignoreUnrecognized = JNI_FALSE;
    std::vector<std::string> options;
    bool extraInfoSet = false;
};
CreationRequest creationRequest;

jint JNICALL refuseToCreateVm(JavaVM** vm, void** env, void* arguments) {
    const auto* record = static_cast<const JavaVMInitArgs*>(arguments);
    ++creationRequest.calls;
    creationRequest.version = record->version;
    creationRequest.ignoreUnrecognized = record->ignoreUnrecognized;
    for (jint i = 0; i < record->nOptions; ++i) {
        creationRequest.options.push_back(record->options[i].optionString);
        creationRequest.extraInfoSet |= record->options[i].extraInfo != nullptr;
    }
    *vm = nullptr;
    *env = nullptr;
    return JNI_ERR;
}

TEST_F(StartupTest, LoadedRuntimeWhoseVmCannotBeCreatedEndsWithMessage1005) {
    const char vmFailed[] = "The JVM could not be started.";
    install(windowedBlock().narrow(128, "B.\\jre").narrow(1005, vmFailed).narrow(123, "-Xmx64m"));
    fake.environment.variables["QELVO_LOG"] = "yes";
    fake.files.addFile(u"c:\\apps\\jre\\bin\\java.exe", "MZ");
    fake.programs.libraries["c:\\apps\\jre\\bin\\server\\jvm.dll"] = {
        {"JNI_CreateJavaVM"},
        0,
        {{"JNI_CreateJavaVM", reinterpret_cast<void*>(&refuseToCreateVm)}}};
    creationRequest = {};
    EXPECT_EQ(runWinMain(""), 1);
    EXPECT_EQ(ctx.jvmHome, "c:\\apps\\jre\\bin\\..");
    EXPECT_EQ(creationRequest.calls, 1);
    EXPECT_EQ(creationRequest.version, JNI_VERSION_1_2);
    EXPECT_EQ(creationRequest.ignoreUnrecognized, JNI_TRUE);
    EXPECT_FALSE(creationRequest.extraInfoSet);
    EXPECT_THAT(creationRequest.options, testing::Contains("-Xmx64m"));
    ASSERT_FALSE(creationRequest.options.empty());
    EXPECT_THAT(creationRequest.options.back(), testing::StartsWith("-Djava.class.path="));
    EXPECT_FALSE(ctx.vmCreated);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_THAT(test::narrow(fake.ui.boxes[0].text), testing::StartsWith(vmFailed));
    EXPECT_TRUE(fake.ui.boxes[0].wide);
    EXPECT_THAT(logText(), HasSubstr("\nlaunching program\n"));
    EXPECT_THAT(logText(), HasSubstr("\nCreating JVM\nERROR: could not initialize JVM\n"));
}

TEST_F(StartupTest, BrokenBlockEndsWithTheReadFailure) {
    install(windowedBlock().magic(0xE9E413D5u));
    EXPECT_EQ(runWinMain(""), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text, u"Internal Error: magic");
    EXPECT_EQ(fake.ui.boxes[0].caption, u""); // nothing of the block could be read
}

TEST_F(StartupTest, TruncatedBlockEndsWithTheReadFailureOnTheConsoleWhenQuiet) {
    test::Bytes image = test::buildLauncherImage(windowedBlock().build()).bytes;
    fake.files.addFile(kModule, test::cut(image, static_cast<std::int64_t>(image.size()) - 3));
    EXPECT_EQ(runWinMain("-q_kwn_internal"), 1);
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
    EXPECT_EQ(fake.console.errorOutput, "Internal Error: readInt\n");
}

TEST_F(StartupTest, MissingLauncherFileAsksToMoveItAndNamesTheLog) {
    fake.environment.variables["QELVO_LOG"] = "yes";
    EXPECT_EQ(runWinMain(""), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text,
              u"Error opening media file. Please move this file to an ascii-only path like "
              u"c:\\\n\nLog: C:\\Temp\\kwn_nlog_1");
    EXPECT_THAT(logText(), HasSubstr("\nERROR: Could not open C:\\apps\\tool.exe\n"));
}

TEST_F(StartupTest, LanguageRestartMarkerIsAPrefix) {
    struct Case {
        const char* tail;
        bool restart;
    };
    const Case cases[] = {
        {"__kwn_lang_restart", true},     {"__kwn_lang_restart 4711 -x", true},
        {"__kwn_lang_restartX", true},    {" __kwn_lang_restart", false},
        {"-x __kwn_lang_restart", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        Start start(windowedBlock());
        EXPECT_EQ(start.winMain(c.tail), kExitNoJvm);
        EXPECT_EQ(start.ctx.languageRestart, c.restart);
    }
}

TEST_F(StartupTest, QuietMarkerSendsErrorsToTheConsoleAndStaysInTheArguments) {
    struct Case {
        const char* tail;
        bool quiet;
        const char16_t* firstArgument;
    };
    const Case cases[] = {
        {"-q_kwn_internal", true, u"-q_kwn_internal"},
        {"-q_kwn_internalXYZ more", true, u"-q_kwn_internalXYZ"},
        {"-q_kwn_interna", false, u"-q_kwn_interna"},
        {" -q_kwn_internal", false, u"-q_kwn_internal"},
        {"-Q_KWN_INTERNAL", false, u"-Q_KWN_INTERNAL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        Start start(windowedBlock(), u"tool.exe " + test::widen(c.tail));
        EXPECT_EQ(start.winMain(c.tail), kExitNoJvm);
        EXPECT_EQ(start.fake.ui.boxes.empty(), c.quiet);
        EXPECT_EQ(start.fake.console.errorOutput.empty(), !c.quiet);
        ASSERT_GE(start.ctx.arguments.size(), 2u);
        EXPECT_EQ(start.ctx.arguments[1], c.firstArgument);
    }
}

TEST_F(StartupTest, InitLauncherKeepsTheInstanceAndClearsTheTempDirectory) {
    install(windowedBlock());
    int module = 0;
    ctx.arguments = {kModule};
    ctx.tempDirectory = "left over";
    initLauncher(ctx, &module);
    EXPECT_EQ(ctx.instance, &module);
    EXPECT_EQ(ctx.tempDirectory, "");
    EXPECT_EQ(ctx.config.getString(1000), "Error");
}

class LogSwitchTest : public StartupTest, public testing::WithParamInterface<const char16_t*> {};

TEST_P(LogSwitchTest, SecondElementForcesTheLogAndIsRemoved) {
    install(windowedBlock());
    ctx.arguments = {kModule, GetParam(), u"-x"};
    fake.ui.defaultAnswer = MessageBoxAnswer::No;
    initLauncher(ctx, nullptr);
    EXPECT_EQ(ctx.arguments, (Arguments{kModule, u"-x"}));
    EXPECT_TRUE(ctx.log.isForced());
    // Forced before the reader's first line, so that line already went to the file.
    EXPECT_THAT(logText(), HasSubstr("\n\nnumber of sections: 3\n"));
}

INSTANTIATE_TEST_SUITE_P(Spellings, LogSwitchTest,
                         testing::Values(u"-create-kwn-log", u"-create-qvo-log", u"/create-kwn-log",
                                         u"/create-qvo-log"));

TEST_F(StartupTest, LogSwitchAnywhereElseIsAnOrdinaryArgument) {
    const Arguments cases[] = {
        {kModule, u"-x", u"-create-kwn-log"},
        {kModule, u"-CREATE-KWN-LOG"},
        {kModule, u"-create-kwn-log "},
        {u"-create-kwn-log"},
    };
    for (const Arguments& arguments : cases) {
        SCOPED_TRACE(test::narrow(arguments.back()));
        Start start(windowedBlock());
        start.fake.files.addDirectory(u"c:\\");
        start.init(arguments);
        EXPECT_EQ(start.ctx.arguments, arguments);
        EXPECT_FALSE(start.ctx.log.isForced());
        EXPECT_EQ(start.ctx.log.logFilePath(), std::nullopt);
        EXPECT_THAT(start.fake.ui.boxes, IsEmpty());
    }
}

TEST_F(StartupTest, LauncherTypeDecidesBetweenMessageBoxAndConsole) {
    struct Case {
        std::optional<std::string> type;
        bool messageBoxes;
    };
    const Case cases[] = {
        {"1", true},  {"5", true}, {" 1", true},  {"5x", true},          {"0", false},
        {"2", false}, {"", false}, {"15", false}, {std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type.value_or("<absent>"));
        ConfigBlockBuilder block;
        if (c.type)
            block.narrow(107, *c.type);
        Start start(block);
        start.init({kModule});
        EXPECT_EQ(start.ctx.messageBoxMode, c.messageBoxes);
    }
}

TEST_F(StartupTest, LauncherTypeNeverTurnsMessageBoxesBackOn) {
    install(windowedBlock());
    ctx.arguments = {kModule};
    ctx.messageBoxMode = false;
    initLauncher(ctx, nullptr);
    EXPECT_FALSE(ctx.messageBoxMode);
}

TEST_F(StartupTest, FlavourComesFromTheFirstCharacterOfKey2001) {
    struct Case {
        std::optional<std::string> value;
        char flavour;
        const char* product;
    };
    const Case cases[] = {
        {"e", 'e', "qelvo"},
        {"ex", 'e', "qelvo"},
        {"i", 'i', "kestrowan"},
        {"x", 'x', "kestrowan"},
        {"E", 'E', "kestrowan"},
        {"", '\0', "kestrowan"},
        {std::nullopt, '\0', "kestrowan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.value_or("<absent>"));
        ConfigBlockBuilder block;
        if (c.value)
            block.narrow(2001, *c.value);
        Start start(block);
        start.init({kModule});
        EXPECT_EQ(start.ctx.flavour, c.flavour);
        EXPECT_EQ(start.ctx.productName, c.product);
        EXPECT_EQ(start.ctx.productNameW, test::widen(c.product));
    }
}

// --- the log-file question -------------------------------------------------------------------

class LogFileQuestionTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        fake.files.shortPaths[kLogFile] = u"C:\\Temp\\KWN_NL~1";
        ctx.arguments = {kModule, u"-create-kwn-log"};
    }
};

TEST_F(LogFileQuestionTest, YesOpensExplorerOnTheShortLogPath) {
    install(windowedBlock().narrow(2001, "e"));
    fake.ui.answers = {MessageBoxAnswer::Yes};
    initLauncher(ctx, nullptr);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    const auto& box = fake.ui.boxes[0];
    EXPECT_EQ(box.text, u"The following log file will be created:\n\nC:\\Temp\\kwn_nlog_1\n\n"
                        u"Do you want to open an Explorer window?");
    EXPECT_EQ(box.caption, u"qelvo"); // the flavour is known by then
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style, MessageBoxStyle::QuestionYesNo);
    EXPECT_TRUE(box.wide);
    EXPECT_THAT(fake.process.started,
                ElementsAre(u"C:\\Windows\\explorer.exe /select,C:\\Temp\\KWN_NL~1"));
    EXPECT_THAT(logText(),
                HasSubstr("\ncalling C:\\Windows\\explorer.exe /select,C:\\Temp\\KWN_NL~1\n"));
}

TEST_F(LogFileQuestionTest, NoStartsNothing) {
    install(windowedBlock());
    fake.ui.answers = {MessageBoxAnswer::No};
    initLauncher(ctx, nullptr);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].caption, u"kestrowan");
    EXPECT_THAT(fake.process.started, IsEmpty());
    EXPECT_THAT(logText(), Not(HasSubstr("calling")));
}

TEST_F(LogFileQuestionTest, ExplorerFailureIsOnlyLogged) {
    install(windowedBlock());
    fake.ui.answers = {MessageBoxAnswer::Yes};
    fake.process.startResult = 2;
    initLauncher(ctx, nullptr);
    EXPECT_EQ(fake.process.started.size(), 1u);
    EXPECT_THAT(logText(), HasSubstr("\ncould not open explorer window 2\n"));
}

TEST_F(LogFileQuestionTest, NotAskedWhenTheLogIsOnlySwitchedOnByTheEnvironment) {
    install(windowedBlock());
    ctx.arguments = {kModule};
    fake.environment.variables["QELVO_LOG"] = "yes";
    initLauncher(ctx, nullptr);
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
    EXPECT_EQ(ctx.log.logFilePath(), kLogFile);
}

TEST_F(LogFileQuestionTest, AskedEvenWhenErrorsGoToTheConsole) {
    install(ConfigBlockBuilder().narrow(107, "0"));
    initLauncher(ctx, nullptr);
    EXPECT_FALSE(ctx.messageBoxMode);
    EXPECT_EQ(fake.ui.boxes.size(), 1u);
}

// --- console switches ------------------------------------------------------------------------

struct SwitchCase {
    const char* name;
    const char* key154;
    const char* key156;
    Arguments arguments;
    bool messageBoxes;
    int attaches;
};

class ConsoleSwitchTest : public StartupTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(ConsoleSwitchTest, SwitchesActAsFarAsTheKeysAllow) {
    const SwitchCase& c = GetParam();
    if (c.key154)
        ctx.config.setNarrow(154, c.key154);
    if (c.key156)
        ctx.config.setNarrow(156, c.key156);
    ctx.arguments = c.arguments;
    applyConsoleSwitches(ctx);
    EXPECT_EQ(ctx.messageBoxMode, c.messageBoxes);
    EXPECT_EQ(fake.console.attachCalls, c.attaches);
    EXPECT_EQ(ctx.arguments, c.arguments); // the switches stay for the application
}

const Arguments kAll = {u"tool.exe", u"-console", u"-q", u"-c"};

INSTANTIATE_TEST_SUITE_P(
    Keys, ConsoleSwitchTest,
    testing::Values(
        SwitchCase{"BothOffIgnoreEverything", "0", "0", kAll, true, 0},
        SwitchCase{"BothAbsentIgnoreEverything", nullptr, nullptr, kAll, true, 0},
        SwitchCase{"ConsoleKeyAcceptsConsole", "0", "1", {u"tool.exe", u"-console"}, true, 1},
        SwitchCase{"ConsoleKeyIgnoresQ", "0", "1", {u"tool.exe", u"-q"}, true, 0},
        SwitchCase{"ConsoleKeyIgnoresC", "0", "1", {u"tool.exe", u"-c"}, true, 0},
        SwitchCase{"QuietKeyAcceptsQ", "1", "0", {u"tool.exe", u"-q"}, false, 0},
        SwitchCase{"QuietKeyAcceptsConsole", "1", "0", {u"tool.exe", u"-console"}, true, 1},
        SwitchCase{"QuietKeyAcceptsC", "1", "0", {u"tool.exe", u"-c"}, false, 1},
        SwitchCase{"AnyNonZeroCounts", "7", nullptr, {u"tool.exe", u"-q"}, false, 0},
        SwitchCase{"CStopsTheScan", "1", "1", {u"tool.exe", u"-c", u"-console", u"-c"}, false, 1},
        SwitchCase{"ConsoleDoesNotStopTheScan",
                   "1",
                   "1",
                   {u"tool.exe", u"-console", u"-console", u"-c"},
                   false,
                   3},
        SwitchCase{"ElementZeroIsExamined", "1", nullptr, {u"-q"}, false, 0},
        SwitchCase{"ComparisonIsExact",
                   "1",
                   "1",
                   {u"tool.exe", u"-Q", u"-C", u"-Console", u"-c ", u"--console", u"/c"},
                   true,
                   0}),
    [](const auto& info) { return info.param.name; });

TEST_F(StartupTest, FailedCSwitchSaysSoInABoxAndExitsWithOne) {
    ctx.config.setNarrow(154, "1");
    ctx.productName = "qelvo";
    ctx.productNameW = u"qelvo";
    ctx.arguments = {u"tool.exe", u"-c", u"-console"};
    fake.console.attachResult = {true, false, 6};
    fake.console.allocResult = false;
    EXPECT_EQ(exitCodeOf([&] { applyConsoleSwitches(ctx); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    const auto& box = fake.ui.boxes[0];
    EXPECT_EQ(box.text, u"Error: Could not allocate console.");
    EXPECT_EQ(box.caption, u"kestrowan"); // the same word whatever the flavour
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style, MessageBoxStyle::Ok);
    EXPECT_FALSE(ctx.messageBoxMode);
    EXPECT_EQ(fake.console.attachCalls, 1);
}

TEST_F(StartupTest, FailedConsoleSwitchIsIgnored) {
    ctx.config.setNarrow(156, "1");
    ctx.arguments = {u"tool.exe", u"-console"};
    fake.console.attachResult = {false, false, 0};
    fake.console.allocResult = false;
    EXPECT_EQ(exitCodeOf([&] { applyConsoleSwitches(ctx); }), std::nullopt);
    EXPECT_EQ(fake.console.allocCalls, 1);
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
}

TEST_F(StartupTest, ConsoleSwitchesRunAfterTheConfigurationInWinMain) {
    install(windowedBlock().narrow(154, "1"));
    commandLine(u"-c");
    fake.console.attachResult = {false, false, 0};
    fake.console.allocResult = false;
    EXPECT_EQ(runWinMain("-c"), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text, u"Error: Could not allocate console.");
}

TEST_F(StartupTest, QSwitchInWinMainSendsTheFinalMessageToTheConsole) {
    install(windowedBlock().narrow(154, "1"));
    commandLine(u"-q");
    EXPECT_EQ(runWinMain("-q"), kExitNoJvm);
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
    EXPECT_EQ(fake.console.errorOutput, test::narrow(noJvmText()) + "\n");
}

TEST(ObtainConsole, AttachesToTheParentElseAllocates) {
    struct Case {
        const char* name;
        platform::Console::AttachResult attach;
        bool allocResult;
        bool expected;
        int allocs;
    };
    const Case cases[] = {
        {"attached", {true, true, 0}, false, true, 0},
        {"already has a console", {true, false, 5}, false, true, 0},
        {"no parent console, allocated", {true, false, 6}, true, true, 1},
        {"no parent console, no allocation", {true, false, 6}, false, false, 1},
        {"no AttachConsole, allocated", {false, false, 0}, true, true, 1},
        {"no AttachConsole, access denied is not trusted", {false, false, 5}, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeConsole console;
        console.attachResult = c.attach;
        console.allocResult = c.allocResult;
        EXPECT_EQ(obtainConsole(console), c.expected);
        EXPECT_EQ(console.allocCalls, c.allocs);
    }
}

} // namespace
} // namespace kwn::launcher
