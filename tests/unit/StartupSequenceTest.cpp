#include "launcher/StartupSequence.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "launcher/CommandLine.h"
#include "launcher/ConsoleSetup.h"
#include "launcher/NativeLibraryPath.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::launcher {
namespace {

using test::Bytes;
using testing::HasSubstr;
using Args = std::vector<std::u16string>;
using Entries = std::vector<std::pair<config::Key, const char*>>;

const std::u16string kModule = u"C:\\apps\\tool\\run.exe";

// A windowed launcher's file (caption, no-runtime message, type 1, then `more`) and `records`.
Bytes windowed(Entries more = {}, const Bytes& records = {}, bool plain = false) {
    if (!plain)
        more.insert(more.begin(), {{1000, "Error"}, {1016, "No JVM {0}"}, {107, "1"}});
    test::ConfigBlock block{.narrow = {more.begin(), more.end()}};
    return test::buildLauncherImage(test::ByteWriter().raw(block.build()).raw(records).bytes())
        .bytes;
}

// One start on a machine of its own, whose launcher file is `file` (none when empty), with
// its log in C:\Logs and no console to be had.
struct Start {
    explicit Start(const Bytes& file = {}, std::u16string commandLine = u"run.exe") {
        fake.process.moduleFile = kModule;
        fake.process.commandLineText = std::move(commandLine);
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.files.addDirectory("C:\\Logs");
        fake.files.addDirectory(fake.files.systemTempPath);
        if (!file.empty())
            fake.files.addFile(kModule, file);
        fake.console.attachResult = {false, false, 0};
        fake.console.allocResult = false;
    }
    std::string log() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }

    test::FakePlatform fake;
    LaunchContext ctx{fake.platform()};
};

// How a start ends: its exit code (none when it returns 0) and one message, in a box or on the
// console; what it changed on the way.
TEST(StartupTest, TheCommandTailAndTheBlockDecideHowAStartEnds) {
    const std::string noJvm = sizeof(void*) == 8 ? "No JVM 64" : "No JVM 32";
    const Bytes plain = windowed(), switches = windowed({{154, "1"}});
    const Bytes cutRecord = windowed({{1009, "Internal error {0}"}, {2002, "1"}, {2003, "a"}},
                                     test::ByteWriter().i64(10).raw("abc").bytes());
    const std::vector<std::string> reboot = {"sleep 5000", "privilege SeShutdownPrivilege",
                                             "reboot"};
    struct Case {
        const char* tail;
        Bytes file;
        std::optional<int> exit;
        std::string message;
        bool console = false, restart = false;
        Args cwd = {};         // the working directory changes
        std::size_t calls = 0; // of the reboot sequence
        std::optional<std::uint32_t> privilege = 0;
    };
    // clang-format off
    const Case cases[] = {
        {"__kwn_reboot", {}, {}, "", false, false, {}, 3}, {"__kwn_reboot", {}, {}, "", false, false, {}, 2, 1300},
        {"__kwn_reboot", {}, {}, "", false, false, {}, 2, std::nullopt}, {"", windowed({{146, ""}}), 83, noJvm},
        {"", windowed({{146, "..\\Data"}}), 83, noJvm, false, false, {u"C:\\apps\\Data"}},
        {"", windowed({{146, "${launcher:sys.launcherDirectory}Work\\."}}), 83, noJvm, false, false, {u"C:\\apps\\tool\\Work"}},
        {"__kwn_lang_restart", windowed({{146, "..\\Data"}}), 83, noJvm, false, true}, {"a \"b c\"", plain, 83, noJvm},
        {"__kwn_reboot x", plain, 83, noJvm}, {" __kwn_reboot", plain, 83, noJvm}, {"__kwn_lang_restart 4711 -x", plain, 83, noJvm, false, true},
        {"__kwn_lang_restartX", plain, 83, noJvm, false, true}, {" __kwn_lang_restart", plain, 83, noJvm}, {"-q_kwn_interna", plain, 83, noJvm},
        {"-q_kwn_internal", plain, 83, noJvm, true}, {"-q_kwn_internalXYZ more", plain, 83, noJvm, true}, {"-q", switches, 83, noJvm, true},
        {"-c", switches, 1, "Error: Could not allocate console."}, {"", test::buildLauncherImage({}).bytes, 1, "Internal Error: readInt"},
        {"-q_kwn_internal", test::cut(plain, std::ssize(plain) - 3), 1, "Internal Error: readInt", true},
        {"", {}, 1, "Error opening media file. Please move this file to an ascii-only path like c:\\"},
        {"", cutRecord, 1, "Internal error 16"}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail + (" " + c.message));
        Start s(c.file, u"run.exe " + test::widen(c.tail));
        s.fake.system.privilegeResult = c.privilege;
        std::optional<int> returned;
        EXPECT_EQ(test::exitCodeOf([&] { returned = winMain(s.ctx, nullptr, c.tail, 1); }), c.exit);
        EXPECT_EQ(std::tuple(returned, s.ctx.languageRestart, s.fake.ui.commonControlsInits),
                  std::tuple(c.exit ? std::nullopt : std::optional(0), c.restart, 1));
        EXPECT_EQ(s.fake.system.calls, std::vector(reboot.begin(), reboot.begin() + c.calls));
        EXPECT_EQ(s.fake.files.currentDirectoryChanges, c.cwd);
        EXPECT_EQ(s.fake.console.errorOutput, c.console ? c.message + "\n" : "");
        ASSERT_EQ(s.fake.ui.boxes.size(), c.console || c.message.empty() ? 0u : 1u);
        EXPECT_EQ(c.console ? "" : c.message,
                  s.fake.ui.boxes.empty() ? "" : test::narrow(s.fake.ui.boxes[0].text));
        // The native library path is set before the runtime search.
        EXPECT_EQ(s.fake.environment.runtimeAssignments.empty(), c.exit != 83);
    }
}

// Only element 1 can be the log switch, taken before the first log line. Only the windowed
// types 1 and 5 keep message boxes; the flavour is key 2001's first letter.
TEST(StartupTest, InitLauncherTakesTheLogSwitchTheLauncherTypeAndTheFlavour) {
    using E = Entries;
    const Args plain = {kModule};
    // clang-format off
    const std::tuple<Entries, Args, bool, bool, char, bool> cases[] = {
        {{}, {kModule, u"-create-kwn-log", u"-x"}, true, false, '\0', false}, {{}, {kModule, u"-create-qvo-log"}, true, false, '\0', false},
        {{}, {kModule, u"/create-kwn-log"}, true, false, '\0', false}, {{}, {kModule, u"/create-qvo-log"}, true, false, '\0', false},
        {{}, {kModule, u"-x", u"-create-kwn-log"}, false, false, '\0', false}, {{}, {kModule, u"-CREATE-KWN-LOG"}, false, false, '\0', false},
        {{}, {kModule, u"-create-kwn-log "}, false, false, '\0', false}, {{}, {kModule, u""}, false, false, '\0', false},
        {{}, {u"-create-kwn-log"}, false, false, '\0', false}, {E{{107, "1"}, {2001, "e"}}, plain, false, true, 'e', true},
        {E{{107, "5"}, {2001, "ex"}}, plain, false, true, 'e', true}, {E{{107, " 1"}, {2001, "i"}}, plain, false, true, 'i', false},
        {E{{107, "5x"}, {2001, "E"}}, plain, false, true, 'E', false}, {E{{107, "0"}, {2001, ""}}, plain, false, false, '\0', false},
        {E{{107, ""}, {2001, "x"}}, plain, false, false, 'x', false}, {E{{107, "6"}}, plain, false, false, '\0', false}};
    // clang-format on
    for (const auto& [entries, arguments, forced, boxes, flavour, qelvo] : cases) {
        const std::string product = qelvo ? "qelvo" : "kestrowan";
        Start s(windowed(entries, {}, true));
        int instance = 0;
        s.ctx.tempDirectory = "left over";
        s.ctx.arguments = arguments;
        initLauncher(s.ctx, &instance);
        Args remaining = arguments;
        if (forced)
            remaining.erase(remaining.begin() + 1);
        EXPECT_EQ(std::tuple(s.ctx.arguments, s.ctx.log.isForced(),
                             s.log().find("\n\nnumber of sections: 3\n") != std::string::npos),
                  std::tuple(remaining, forced, forced))
            << testing::PrintToString(arguments) << testing::PrintToString(entries);
        EXPECT_EQ(std::tuple(s.ctx.messageBoxMode, s.ctx.flavour, s.ctx.productName,
                             s.ctx.productNameW, s.ctx.instance, s.ctx.tempDirectory),
                  std::tuple(boxes, flavour, product, test::widen(product), &instance, ""));
    }
}

// Key 154 allows -q, -c and -console, key 156 only -console; the switches stay for the program.
// Access denied means the process has a console already, but only from a real attach.
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
        test::FakePlatform fake;
        LaunchContext ctx(fake.platform());
        for (const auto& [key, value] : keys)
            ctx.config.setNarrow(key, value);
        ctx.arguments = arguments;
        applyConsoleSwitches(ctx);
        EXPECT_EQ(std::tuple(ctx.messageBoxMode, fake.console.attachCalls, ctx.arguments),
                  std::tuple(boxes, attaches, arguments))
            << testing::PrintToString(arguments);
    }
    using Attach = platform::Console::AttachResult;
    // clang-format off
    for (auto [attach, allocResult, obtained, allocs] : {std::tuple{Attach{true, true, 0}, false, true, 0},
             {{true, false, 5}, false, true, 0}, {{true, false, 6}, true, true, 1},
             {{true, false, 6}, false, false, 1}, {{false, false, 5}, false, false, 1}}) {
        // clang-format on
        test::FakeConsole console;
        console.attachResult = attach;
        console.allocResult = allocResult;
        EXPECT_EQ(std::pair(obtainConsole(console), console.allocCalls),
                  std::pair(obtained, allocs));
    }
}

TEST(StartupTest, NativeLibraryDirectoriesGoInFrontOfPath) {
    // clang-format off
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {"lib;%QELVO_EXEDIR%native;;", "C:\\Windows", "C:\\apps\\tool\\lib;C:\\apps\\tool\\native;C:\\Windows"},
        {"lib;", "C:\\Windows", "C:\\apps\\tool\\lib;C:\\Windows"}, {"D:\\dll", nullptr, "D:\\dll;"},
        {"", "C:\\Windows;C:\\bin", "C:\\Windows;C:\\bin"}, {"", nullptr, ""}};
    // clang-format on
    for (const auto& [directories, path, combined] : cases) {
        Start s;
        s.ctx.config.setNarrow(10004, directories);
        if (path)
            s.fake.environment.variables["PATH"] = path;
        setNativeLibraryPath(s.ctx);
        EXPECT_EQ(s.fake.environment.variables["PATH"], combined);
        EXPECT_EQ(s.fake.environment.runtimeAssignments, std::vector{"PATH=" + combined});
    }
}

// Single blanks separate; a quote of either kind groups up to the same quote or the end.
TEST(SplitCommandLine, TokensFollowTheQuotingRules) {
    // clang-format off
    const std::pair<std::u16string, Args> cases[] = {
        {u"C:\\apps\\tool.exe -a \"b c\"", {u"C:\\apps\\tool.exe", u"-a", u"b c"}}, {u"", {}}, {u"   ", {}}, {u"single", {u"single"}},
        {u"-Dx=\"a b\"c d", {u"-Dx=a b", u"c", u"d"}}, {u"'it''s'", {u"it", u"s"}}, {u"\"\"", {u""}}, {u"\"abc", {u"abc"}},
        {u"a  b", {u"a", u"b"}}, {u"a\tb c\t", {u"a\tb", u"c\t"}}, {u"'a b' c", {u"a b", u"c"}}, {u"\"it's\" x", {u"it's", u"x"}},
        {u"a ", {u"a"}}, {u" a", {u"a"}}, {u"'say \"hi\"' x", {u"say \"hi\"", u"x"}}, {u"a \"\" b", {u"a", u"", u"b"}},
        {u"ab\"", {u"ab"}}, {u"x\"y z", {u"xy z"}}, {u"\"a\"  \"b\"", {u"a", u"b"}}, {u"\"a\"'b'", {u"a", u"b"}},
        {u"\"c:\\\" d", {u"c:\\", u"d"}}};
    // clang-format on
    for (const auto& [text, tokens] : cases) {
        Args list{u"kept"}; // appended to what the list holds
        splitCommandLine(text, list);
        EXPECT_EQ(Args(list.begin() + 1, list.end()), tokens) << test::narrow(text);
    }
}

// Boxes carry the caption and the owner, the console gets a line; both name the log file in
// its long form when logging is on, cut to the 5999 units of the buffer. "{0}" takes the
// argument once. Every message first hides the splash, which logs, so the log is decided by then.
TEST(ErrorReporterTest, MessagesGoToABoxOrTheConsoleAndTheWayOutCleansUp) {
    Start quiet;
    quiet.ctx.config.setNarrow(1000, "Fehler \xE9");
    quiet.ctx.config.setNarrow(1009, "Code {0} {0}");
    int splash = 0;
    quiet.ctx.errors.setErrorOwnerWindow(&splash);
    quiet.ctx.errors.displayMessage(1009, std::string("16"));
    quiet.ctx.errors.displayMessageW(1009, std::nullopt);
    ASSERT_EQ(quiet.fake.ui.boxes.size(), 2u);
    const auto& [narrow, wide] = std::tie(quiet.fake.ui.boxes[0], quiet.fake.ui.boxes[1]);
    EXPECT_EQ(std::tuple(narrow.text, narrow.caption, narrow.owner, narrow.style, narrow.wide),
              std::tuple(u"Code 16 {0}", u"Fehler \u00E9", &splash,
                         platform::MessageBoxStyle::ErrorOk, false));
    EXPECT_EQ(std::tuple(wide.text, wide.caption, wide.wide),
              std::tuple(u"Code {0} {0}", u"Fehler \u00E9", true));
    Start s;
    LaunchContext& ctx = s.ctx;
    ctx.config.setNarrow(1009, "Can\x92t {0} {0}");
    ctx.log.setForced(true);
    s.fake.files.longPaths[u"C:\\Logs\\kwn_nlog_1"] = u"C:\\Log Files\\kwn_nlog_1";
    ctx.messageBoxMode = false;
    ctx.errors.displayText(std::string(7000, 'x'));
    ctx.errors.displayText("M");
    ctx.errors.displayMessageW(1009, u"W\u2019");
    EXPECT_THAT(s.log(), HasSubstr("\nHiding splash screen\n"));
    const std::string log = "\n\nLog: C:\\Log Files\\kwn_nlog_1\n";
    EXPECT_EQ(s.fake.console.errorOutput,
              std::string(5999, 'x') + "\nM" + log + "Can\x92t W? {0}" + log);
    // The way out empties the temp directory one level down; "." paths are never touched.
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.exitLauncher(83); }), 83); // no temp directory
    ctx.errors.emptyDirectory(".\\sub", true);
    EXPECT_TRUE(s.fake.files.findPatterns.empty() && s.fake.files.removeCalls.empty());
    s.fake.files.addFile("C:\\T\\kwn\\a.txt", "a");
    s.fake.files.addFile("C:\\T\\kwn\\sub\\b.txt", "b");
    s.fake.files.addFile("C:\\T\\kwn\\sub\\deep\\c.txt", "c");
    ctx.tempDirectory = "C:\\T\\kwn\\";
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalText("Internal Error: magic"); }), 1);
    EXPECT_EQ(
        s.fake.files.removeCalls,
        (std::vector<std::string>{"C:\\T\\kwn\\sub\\deep", "C:\\T\\kwn\\sub", "C:\\T\\kwn\\"}));
    EXPECT_THAT(s.log(),
                HasSubstr("\nattempting to remove C:\\T\\kwn\\sub (1)\nemptying C:\\T\\kwn\\sub\n"
                          "attempting to delete C:\\T\\kwn\\sub\\b.txt\n"
                          "attempting to remove C:\\T\\kwn\\sub\\deep (0)\n"));
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalMessage(1009, std::string("16")); }), 1);
    EXPECT_EQ(test::exitCodeOf([&] { ctx.errors.fatalMessageW(1005, std::nullopt); }), 1);
    EXPECT_EQ(s.fake.process.exitCodes, (std::vector{83, 1, 1, 1}));
}

// A message of the user's locale group wins over the configured one, in a box through the wide
// call with the group's caption, on the console in the user's code page.
TEST(ErrorReporterTest, TheUsersLanguageComesFirst) {
    for (bool box : {true, false}) {
        Start s;
        s.ctx.messageBoxMode = box;
        s.ctx.config.setNarrow(1000, "Error");
        s.ctx.config.setNarrow(1005, "plain");
        s.ctx.config.setNarrow(1009, "Code {0}");
        s.ctx.config.setLocalized(1009, u"F\u00e4hler {0} \u2019");
        s.ctx.config.setLocalized(1005, u"VM {0}");
        s.ctx.errors.displayMessage(1009, std::string("\xE9"));
        s.ctx.errors.displayMessageW(1005, u"x");
        s.ctx.errors.displayMessage(1005, std::nullopt);
        s.ctx.config.setLocalized(1000, u"Fehler");
        s.ctx.errors.displayText("t\xE9");
        std::u16string shown;
        for (const auto& b : s.fake.ui.boxes)
            shown += b.text + u"|" + b.caption + (b.wide ? u"|W\n" : u"|A\n");
        EXPECT_EQ(shown, box ? u"F\u00e4hler \u00e9 \u2019|Error|W\nVM x|Error|W\nVM {0}|Error|W\n"
                               u"t\u00e9|Fehler|W\n"
                             : u"");
        EXPECT_EQ(s.fake.console.errorOutput, box ? "" : "F\xE4hler \xE9 ?\nVM x\nVM {0}\nt\xE9\n");
    }
}

} // namespace
} // namespace kwn::launcher
