#include "launcher/StartupSequence.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "launcher/CommandLine.h"
#include "launcher/ConsoleSetup.h"
#include "launcher/NativeLibraryPath.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jni.h>

namespace kwn::launcher {
namespace {

using platform::MessageBoxAnswer;
using test::Bytes;
using testing::HasSubstr;
using Args = std::vector<std::u16string>;
using Entries = std::vector<std::pair<config::Key, const char*>>;

const std::u16string kModule = u"C:\\apps\\tool\\run.exe";
const Entries kWindowed = {{1000, "Error"}, {1016, "No JVM {0}"}, {107, "1"}};

// A launcher file whose block holds the entries that are not null, then `records`.
Bytes image(const Entries& entries, const Bytes& records = {}) {
    test::ConfigBlockBuilder block;
    for (const auto& [key, value] : entries)
        if (value)
            block.narrow(key, value);
    return test::buildLauncherImage(test::ByteWriter().raw(block.build()).raw(records).bytes())
        .bytes;
}

Entries operator+(Entries entries, const Entries& more) {
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

jint JNICALL refuseVm(JavaVM**, void**, void*) {
    return JNI_ERR;
}

// One start on a machine of its own, whose launcher file is `file`, with its log in C:\Logs.
struct Start {
    explicit Start(const Bytes& file = image(kWindowed), std::u16string commandLine = u"run.exe") {
        fake.process.moduleFile = kModule;
        fake.process.commandLineText = std::move(commandLine);
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.files.addDirectory("C:\\Logs");
        fake.files.addDirectory(fake.files.systemTempPath);
        if (!file.empty())
            fake.files.addFile(kModule, file);
        // A runtime that is found only where key 128 points, whose VM refuses to start.
        fake.files.addFile(u"c:\\apps\\tool\\jre\\bin\\java.exe", "MZ");
        fake.programs.libraries["c:\\apps\\tool\\jre\\bin\\server\\jvm.dll"] = {
            {"JNI_CreateJavaVM"}, 0, {{"JNI_CreateJavaVM", reinterpret_cast<void*>(&refuseVm)}}};
        fake.console.attachResult = {false, false, 0};
        fake.console.allocResult = false;
    }
    std::optional<int> winMain(std::string_view tail) {
        return test::exitCodeOf([&] { returned = launcher::winMain(ctx, nullptr, tail, 1); });
    }
    std::string log() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }

    test::FakePlatform fake;
    LaunchContext ctx{fake.platform()};
    std::optional<int> returned;
};

// How a start ends: its exit code and one message, in a box or on the console.
TEST(StartupTest, TheCommandTailAndTheBlockDecideHowAStartEnds) {
    const std::string noJvm = sizeof(void*) == 8 ? "No JVM 64" : "No JVM 32";
    const Bytes plain = image(kWindowed);
    const Bytes switches = image(kWindowed + Entries{{154, "1"}});
    const Bytes vm = image(kWindowed + Entries{{128, "B.\\jre"}, {1005, "VM refused"}});
    const Bytes cutRecord =
        image(kWindowed + Entries{{1009, "Internal error {0}"}, {2002, "1"}, {2003, "a"}},
              test::ByteWriter().i64(10).raw("abc").bytes());
    const std::vector<std::string> reboot = {"sleep 5000", "privilege SeShutdownPrivilege",
                                             "reboot"};
    struct Case {
        const char* tail;
        Bytes file;
        std::optional<int> exit;
        std::string message;
        bool console = false;
        bool restart = false;
        std::size_t calls = 0; // of the reboot sequence
        std::optional<std::uint32_t> privilege = 0;
    };
    // clang-format off
    const Case cases[] = {
        {"__kwn_reboot", {}, {}, "", false, false, 3}, {"__kwn_reboot", {}, {}, "", false, false, 2, 1300},
        {"__kwn_reboot", {}, {}, "", false, false, 2, std::nullopt},
        {"a \"b c\"", plain, 83, noJvm}, {"__kwn_reboot x", plain, 83, noJvm}, {" __kwn_reboot", plain, 83, noJvm},
        {"__kwn_lang_restart 4711 -x", plain, 83, noJvm, false, true},
        {"__kwn_lang_restartX", plain, 83, noJvm, false, true}, {" __kwn_lang_restart", plain, 83, noJvm},
        {"-q_kwn_internal", plain, 83, noJvm, true}, {"-q_kwn_internalXYZ more", plain, 83, noJvm, true},
        {"-q_kwn_interna", plain, 83, noJvm}, {"-q", switches, 83, noJvm, true},
        {"-c", switches, 1, "Error: Could not allocate console."},
        {"", test::buildLauncherImage({}).bytes, 1, "Internal Error: readInt"},
        {"-q_kwn_internal", test::cut(plain, std::ssize(plain) - 3), 1, "Internal Error: readInt", true},
        {"", {}, 1, "Error opening media file. Please move this file to an ascii-only path like c:\\"},
        {"", cutRecord, 1, "Internal error 16"}, {"", vm, 1, "VM refused"}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail + (" " + c.message));
        Start s(c.file, u"run.exe " + test::widen(c.tail));
        s.fake.system.privilegeResult = c.privilege;
        EXPECT_EQ(s.winMain(c.tail), c.exit);
        EXPECT_EQ(std::tuple(s.returned, s.ctx.languageRestart, s.fake.ui.commonControlsInits),
                  std::tuple(c.exit ? std::nullopt : std::optional(0), c.restart, 1));
        EXPECT_EQ(s.fake.system.calls, std::vector(reboot.begin(), reboot.begin() + c.calls));
        EXPECT_EQ(s.fake.console.errorOutput, c.console ? c.message + "\n" : "");
        ASSERT_EQ(s.fake.ui.boxes.size(), c.console || c.message.empty() ? 0u : 1u);
        if (!s.fake.ui.boxes.empty()) {
            EXPECT_EQ(test::narrow(s.fake.ui.boxes[0].text), c.message);
        }
        // The native library path is set before the runtime search.
        EXPECT_EQ(s.fake.environment.runtimeAssignments.empty(), c.exit != 83 && c.file != vm);
    }
}

// Only element 1 can be the switch, and it goes before the first log line.
TEST(StartupTest, TheLogSwitchIsTheSecondArgumentOnly) {
    // clang-format off
    const std::pair<Args, bool> cases[] = {
        {{kModule, u"-create-kwn-log", u"-x"}, true}, {{kModule, u"-create-qvo-log"}, true},
        {{kModule, u"/create-kwn-log"}, true}, {{kModule, u"/create-qvo-log"}, true},
        {{kModule, u"-x", u"-create-kwn-log"}, false}, {{kModule, u"-CREATE-KWN-LOG"}, false},
        {{kModule, u"-create-kwn-log "}, false}, {{kModule, u""}, false}, {{u"-create-kwn-log"}, false}};
    // clang-format on
    for (const auto& [arguments, forced] : cases) {
        SCOPED_TRACE(test::narrow(arguments.back()));
        Start s;
        s.ctx.arguments = arguments;
        initLauncher(s.ctx, nullptr);
        Args remaining = arguments;
        if (forced)
            remaining.erase(remaining.begin() + 1);
        EXPECT_EQ(s.ctx.arguments, remaining);
        EXPECT_EQ(s.ctx.log.isForced(), forced);
        EXPECT_EQ(s.log().find("\n\nnumber of sections: 3\n") != std::string::npos, forced);
    }
}

// Only the windowed types 1 and 5 keep message boxes; the flavour is key 2001's first letter.
TEST(StartupTest, LauncherTypeAndFlavourComeFromTheBlock) {
    // clang-format off
    const std::tuple<const char*, bool, const char*, char, std::string> cases[] = {
        {"1", true, "e", 'e', "qelvo"}, {"5", true, "ex", 'e', "qelvo"}, {" 1", true, "i", 'i', "kestrowan"},
        {"5x", true, "E", 'E', "kestrowan"}, {"0", false, "", '\0', "kestrowan"},
        {"2", false, nullptr, '\0', "kestrowan"}, {"", false, "x", 'x', "kestrowan"},
        {"15", false, nullptr, '\0', "kestrowan"}, {"6", false, nullptr, '\0', "kestrowan"},
        {nullptr, false, nullptr, '\0', "kestrowan"}};
    // clang-format on
    for (const auto& [type, boxes, key2001, flavour, product] : cases) {
        Start s(image({{107, type}, {2001, key2001}}));
        int instance = 0;
        s.ctx.tempDirectory = "left over";
        s.ctx.arguments = {kModule};
        initLauncher(s.ctx, &instance);
        EXPECT_EQ(std::tuple(s.ctx.messageBoxMode, s.ctx.flavour, s.ctx.productName,
                             s.ctx.productNameW, s.ctx.instance, s.ctx.tempDirectory),
                  std::tuple(boxes, flavour, product, test::widen(product), &instance, ""));
    }
    Start quiet; // the type never turns message boxes back on
    quiet.ctx.messageBoxMode = false;
    initLauncher(quiet.ctx, nullptr);
    EXPECT_FALSE(quiet.ctx.messageBoxMode);
}

// Asked when the switch forced the log, in the product's name, also on a console launcher.
TEST(StartupTest, TheLogFileQuestionOpensExplorerOnTheShortPath) {
    const std::u16string explorer = u"C:\\Windows\\explorer.exe /select,C:\\Logs\\KWN_NL~1";
    const std::u16string question = u"The following log file will be created:\n\nC:\\Logs\\"
                                    u"kwn_nlog_1\n\nDo you want to open an Explorer window?";
    // clang-format off
    const std::tuple<const char*, const char*, MessageBoxAnswer, std::uint32_t, std::u16string, const char*> cases[] = {
        {"1", "e", MessageBoxAnswer::Yes, 0, u"qelvo", "calling C:\\Windows\\explorer.exe /select,C:\\Logs\\KWN_NL~1"},
        {"0", "i", MessageBoxAnswer::No, 0, u"kestrowan", nullptr},
        {"1", "i", MessageBoxAnswer::Yes, 2, u"kestrowan", "could not open explorer window 2"}};
    // clang-format on
    for (const auto& [type, key2001, answer, startResult, caption, logLine] : cases) {
        Start s(image({{107, type}, {2001, key2001}}));
        s.fake.files.shortPaths[u"C:\\Logs\\kwn_nlog_1"] = u"C:\\Logs\\KWN_NL~1";
        s.fake.ui.answers = {answer};
        s.fake.process.startResult = startResult;
        s.ctx.arguments = {kModule, u"-create-kwn-log"};
        initLauncher(s.ctx, nullptr);
        ASSERT_EQ(s.fake.ui.boxes.size(), 1u);
        EXPECT_EQ(std::tuple(s.fake.ui.boxes[0].text, s.fake.ui.boxes[0].caption,
                             s.fake.ui.boxes[0].style),
                  std::tuple(question, caption, platform::MessageBoxStyle::QuestionYesNo));
        EXPECT_EQ(s.fake.process.started, logLine ? Args{explorer} : Args{});
        EXPECT_EQ(s.log().find(logLine ? logLine : "calling") != std::string::npos,
                  logLine != nullptr);
    }
    Start environment;
    environment.fake.environment.variables["QELVO_LOG"] = "yes";
    environment.ctx.arguments = {kModule};
    initLauncher(environment.ctx, nullptr);
    EXPECT_TRUE(environment.fake.ui.boxes.empty());
}

// Key 154 allows -q, -c and -console, key 156 only -console; the switches stay for the program.
TEST(StartupTest, ConsoleSwitchesActAsFarAsTheKeysAllow) {
    // clang-format off
    const std::tuple<Entries, Args, bool, int> cases[] = {
        {{{154, "0"}, {156, "0"}}, {u"-console", u"-q", u"-c"}, true, 0}, {{}, {u"-console", u"-q", u"-c"}, true, 0},
        {{{156, "1"}}, {u"x", u"-console"}, true, 1}, {{{156, "1"}}, {u"x", u"-q", u"-c"}, true, 0},
        {{{154, "1"}}, {u"x", u"-q"}, false, 0}, {{{154, "1"}}, {u"x", u"-console"}, true, 1},
        {{{154, "1"}}, {u"x", u"-c"}, false, 1}, {{{154, "7"}}, {u"-q"}, false, 0},
        {{{154, "1"}, {156, "1"}}, {u"x", u"-c", u"-console", u"-c"}, false, 1},
        {{{154, "1"}, {156, "1"}}, {u"x", u"-console", u"-console", u"-c"}, false, 3},
        {{{154, "1"}, {156, "1"}}, {u"-Q", u"-C", u"-Console", u"-c ", u"--console", u"/c"}, true, 0}};
    // clang-format on
    for (const auto& [keys, arguments, boxes, attaches] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        test::FakePlatform fake;
        LaunchContext ctx(fake.platform());
        for (const auto& [key, value] : keys)
            ctx.config.setNarrow(key, value);
        ctx.arguments = arguments;
        applyConsoleSwitches(ctx);
        EXPECT_EQ(std::tuple(ctx.messageBoxMode, fake.console.attachCalls, ctx.arguments),
                  std::tuple(boxes, attaches, arguments));
    }
    // Access denied means the process has a console already, but only from a real attach.
    using Attach = platform::Console::AttachResult;
    for (auto [attach, allocResult, obtained, allocs] :
         {std::tuple{Attach{true, true, 0}, false, true, 0},
          {{true, false, 5}, false, true, 0},
          {{true, false, 6}, true, true, 1},
          {{true, false, 6}, false, false, 1},
          {{false, false, 5}, false, false, 1}}) {
        test::FakeConsole console;
        console.attachResult = attach;
        console.allocResult = allocResult;
        EXPECT_EQ(obtainConsole(console), obtained);
        EXPECT_EQ(console.allocCalls, allocs);
    }
}

TEST(StartupTest, KeyDecidesTheWorkingDirectoryUnlessRestartingForTheLanguage) {
    // clang-format off
    const std::tuple<const char*, bool, Args, std::string> cases[] = {
        {"..\\Data", false, {u"C:\\apps\\Data"}, "\nchange working directory to C:\\apps\\Data\n"},
        {"${launcher:sys.launcherDirectory}Work\\.", false, {u"C:\\apps\\tool\\Work"}, "\nchange working directory to C:\\apps\\tool\\Work\n"},
        {"", false, {}, "\nworking directory unchanged\n"}, {nullptr, false, {}, "\nworking directory unchanged\n"},
        {"..\\Data", true, {}, "\nnumber of sections"}};
    // clang-format on
    for (const auto& [key146, restart, changes, logLine] : cases) {
        Start s(image({{146, key146}}));
        s.fake.environment.variables["QELVO_LOG"] = "yes";
        s.ctx.languageRestart = restart;
        s.ctx.arguments = {kModule};
        initLauncher(s.ctx, nullptr);
        EXPECT_EQ(s.fake.files.currentDirectoryChanges, changes);
        EXPECT_THAT(s.log(), HasSubstr(logLine));
        EXPECT_EQ(s.log().find("working directory") == std::string::npos, restart);
    }
}

TEST(StartupTest, NativeLibraryDirectoriesGoInFrontOfPath) {
    // clang-format off
    const std::tuple<const char*, const char*, std::uint32_t, std::string> cases[] = {
        {"lib;%QELVO_EXEDIR%native;;", "C:\\Windows", 0, "C:\\apps\\tool\\lib;C:\\apps\\tool\\native;C:\\Windows"},
        {"lib;", "C:\\Windows", 0, "C:\\apps\\tool\\lib;C:\\Windows"}, {"D:\\dll", nullptr, 0, "D:\\dll;"},
        {"", "C:\\Windows;C:\\bin", 0, "C:\\Windows;C:\\bin"}, {nullptr, nullptr, 0, ""},
        {"lib", "C:\\Windows", 203, "C:\\apps\\tool\\lib;C:\\Windows"}};
    // clang-format on
    for (const auto& [directories, path, error, combined] : cases) {
        Start s(Bytes{});
        s.ctx.config.setNarrow(10004, directories ? directories : "");
        if (path)
            s.fake.environment.variables["PATH"] = path;
        s.fake.environment.setError = error;
        s.ctx.log.setForced(true);
        setNativeLibraryPath(s.ctx);
        EXPECT_EQ(s.fake.environment.variables["PATH"], error ? path : combined);
        EXPECT_EQ(s.fake.environment.runtimeAssignments, std::vector{"PATH=" + combined});
        EXPECT_THAT(s.log(), HasSubstr("\nSetting PATH (native libs) " + combined +
                                       (error ? " failed with error 203\n" : "\n")));
    }
}

// Single blanks separate; a quote of either kind groups up to the same quote or the end.
TEST(SplitCommandLine, TokensFollowTheQuotingRules) {
    // clang-format off
    const std::pair<std::u16string, Args> cases[] = {
        {u"C:\\apps\\tool.exe -a \"b c\"", {u"C:\\apps\\tool.exe", u"-a", u"b c"}},
        {u"-Dx=\"a b\"c d", {u"-Dx=a b", u"c", u"d"}}, {u"'it''s'", {u"it", u"s"}}, {u"\"\"", {u""}},
        {u"\"abc", {u"abc"}}, {u"a  b", {u"a", u"b"}}, {u"a\tb c\t", {u"a\tb", u"c\t"}},
        {u"'a b' c", {u"a b", u"c"}}, {u"\"it's\" x", {u"it's", u"x"}},
        {u"'say \"hi\"' x", {u"say \"hi\"", u"x"}}, {u"a ", {u"a"}}, {u" a", {u"a"}}, {u"", {}},
        {u"   ", {}}, {u"a \"\" b", {u"a", u"", u"b"}}, {u"ab\"", {u"ab"}}, {u"x\"y z", {u"xy z"}},
        {u"\"a\"  \"b\"", {u"a", u"b"}}, {u"\"a\"'b'", {u"a", u"b"}}, {u"\"c:\\\" d", {u"c:\\", u"d"}},
        {u"single", {u"single"}}};
    // clang-format on
    for (const auto& [text, tokens] : cases) {
        Args list{u"kept"}; // appended to what the list holds
        splitCommandLine(text, list);
        EXPECT_EQ(Args(list.begin() + 1, list.end()), tokens) << test::narrow(text);
        EXPECT_EQ(list[0], u"kept");
    }
}

TEST(ErrorReporterTest, TheFirstPlaceholderTakesTheArgument) {
    // clang-format off
    const std::tuple<std::string, std::optional<std::string>, std::string> cases[] = {
        {"code: {0}", "16", "code: 16"}, {"{0} and {0}", "x", "x and {0}"}, {"none", "x", "none"},
        {"kept {0}", std::nullopt, "kept {0}"}, {"{0}", "a{0}", "a{0}"}, {"{1} {0 } {0}", "x", "{1} {0 } x"}};
    // clang-format on
    for (const auto& [text, argument, expected] : cases)
        EXPECT_EQ(substituteArgument(text, argument), expected);
    EXPECT_EQ(substituteArgument(std::u16string(u"File {0}"), std::optional<std::u16string>(u"a")),
              u"File a");
}

// Boxes carry the caption and the owner; the console gets a line; both name the log file in its
// long form once logging is on, and neither shows more than the 5999 units of the buffer.
TEST(ErrorReporterTest, MessagesGoToABoxOrTheConsole) {
    Start s(Bytes{});
    LaunchContext& ctx = s.ctx;
    ctx.config.setNarrow(1000, "Fehler \xE9");
    ctx.config.setNarrow(1009, "Code {0}");
    ctx.config.setNarrow(1005, "VM refused");
    int splash = 0;
    ctx.errors.setErrorOwnerWindow(&splash);
    ctx.errors.displayMessage(1009, std::string("16"));
    ctx.errors.displayMessageW(1005, std::nullopt);
    ctx.log.setForced(true); // forced, but no line written yet: the path is not known
    ctx.errors.displayText("before");
    s.fake.files.longPaths[u"C:\\Logs\\kwn_nlog_1"] = u"C:\\Log Files\\kwn_nlog_1";
    ctx.log.logMessage("on");
    ctx.errors.displayTextW(u"W");
    ctx.messageBoxMode = false;
    ctx.errors.displayText(std::string(7000, 'x'));
    ctx.errors.displayMessage(1016, std::string("64"));
    ctx.errors.displayTextW(u"W");
    const std::u16string texts[] = {u"Code 16", u"VM refused", u"before",
                                    u"W\n\nLog: C:\\Log Files\\kwn_nlog_1"};
    ASSERT_EQ(s.fake.ui.boxes.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const auto& box = s.fake.ui.boxes[i];
        EXPECT_EQ(std::tuple(box.text, box.caption, box.owner, box.style, box.wide),
                  std::tuple(texts[i], u"Fehler \u00E9", &splash,
                             platform::MessageBoxStyle::ErrorOk, i % 2 == 1));
    }
    EXPECT_EQ(s.fake.console.errorOutput,
              std::string(5999, 'x') +
                  "\n\n\nLog: C:\\Log Files\\kwn_nlog_1\nW\n\nLog: C:\\Log Files\\kwn_nlog_1\n");
}

// The temp directory is emptied one level down; "." paths are never touched.
TEST(ErrorReporterTest, FatalErrorsRemoveTheTempDirectoryAndExitWithOne) {
    Start s(Bytes{});
    LaunchContext& ctx = s.ctx;
    s.fake.files.addFile(".\\a.txt", "a");
    for (const char* path : {"", ".", "..", ".\\sub"}) {
        ctx.tempDirectory = path;
        EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.exitLauncher(83); }), 83);
        ctx.errors.emptyDirectory(path, true);
    }
    EXPECT_TRUE(s.fake.files.findPatterns.empty());
    s.fake.files.removeCalls.clear(); // only the directory itself, which is never "."
    s.fake.files.addFile("C:\\T\\kwn\\a.txt", "a");
    s.fake.files.addFile("C:\\T\\kwn\\sub\\b.txt", "b");
    s.fake.files.addFile("C:\\T\\kwn\\sub\\deep\\c.txt", "c");
    ctx.tempDirectory = "C:\\T\\kwn\\";
    ctx.log.setForced(true);
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalText("Internal Error: magic"); }), 1);
    EXPECT_EQ(s.fake.files.deleteCalls,
              (std::vector<std::string>{"C:\\T\\kwn\\a.txt", "C:\\T\\kwn\\sub\\b.txt"}));
    EXPECT_EQ(
        s.fake.files.removeCalls,
        (std::vector<std::string>{"C:\\T\\kwn\\sub\\deep", "C:\\T\\kwn\\sub", "C:\\T\\kwn\\"}));
    EXPECT_THAT(s.log(),
                HasSubstr("\nemptying C:\\T\\kwn\\\nattempting to delete C:\\T\\kwn\\a.txt\n"
                          "attempting to remove C:\\T\\kwn\\sub (1)\nemptying C:\\T\\kwn\\sub\n"
                          "attempting to delete C:\\T\\kwn\\sub\\b.txt\n"
                          "attempting to remove C:\\T\\kwn\\sub\\deep (0)\n"));
    s.fake.files.addFile("C:\\T\\kwn\\d.jar", "d");
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalMessage(1009, std::string("16")); }), 1);
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalMessageW(1005, std::nullopt); }), 1);
    EXPECT_FALSE(s.fake.files.hasFile("C:\\T\\kwn\\d.jar"));
    EXPECT_EQ(s.fake.ui.boxes.size(), 3u);
    EXPECT_EQ(s.fake.process.exitCodes, (std::vector{83, 83, 83, 83, 1, 1, 1}));
}

} // namespace
} // namespace kwn::launcher
