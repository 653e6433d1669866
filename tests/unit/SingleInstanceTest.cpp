#include "instance/SingleInstance.h"
#include "instance/Notification.h"
#include "instance/WindowActivation.h"

#include "fake/LoggedLaunchTest.h"

#include <gmock/gmock.h>

namespace kwn::instance {
namespace {

using testing::ElementsAre, testing::HasSubstr;
using Bytes = std::vector<unsigned char>;
using Root = test::FakeRegistry::Root;

const std::string kPidKey = "SOFTWARE\\corvane-systems\\qelvo\\pids\\";
const std::string kValueName = "c:\\program files\\my app\\myapp.exe";
const std::string kName = "Local\\c:_program_files_my_app_myapp.exe";
const std::string kGlobal = "Global\\c:_program_files_my_app_myapp.exe";
const std::string kMailslot = "\\\\.\\mailslot\\kestrowan_notification_777";

test::FakeUserInterface::Window win(std::uint32_t pid, bool shown, bool min, int popup = -1) {
    return {pid, shown, min, "", popup};
}

// The message bytes: the test host is little-endian like Windows.
Bytes utf16(std::u16string_view text) {
    auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return Bytes(bytes, bytes + 2 * text.size());
}

// One launch in single-instance mode; rows that each need a fresh machine make their own.
struct InstanceTest : test::LoggedLaunchTest {
    InstanceTest() : LoggedLaunchTest(u"C:\\Program Files\\My App\\MyApp.exe") {
        ctx.config.setNarrow(10005, "1");
        fake.ipc.processId = 777;
    }
    void TestBody() override {}
    std::optional<int> check(bool notify = true) {
        return test::exitCodeOf([&] { checkInstance(ctx, true, notify); });
    }
};

TEST_F(InstanceTest, SemaphoreNamesFollowThePathAndTheMode) {
    // clang-format off
    struct Row { const char *single, *global; std::set<std::string> taken;
                 std::optional<std::uint32_t> error; std::string name; size_t calls; } rows[] = {
        {"1", "0", {}, {}, kName, 1}, {"0", "0", {}, {}, kName + "0", 1}, {"1", "7", {}, {}, kGlobal, 1},
        {"0", "0", {kName + "0", kName + "1"}, {}, kName + "2", 5}, {"0", "1", {kGlobal + "0"}, {}, kGlobal + "1", 3},
        // A semaphore that cannot be made at all still makes a first instance; with every
        // number taken the last is kept all the same.
        {"1", "0", {}, 5, kName, 1}, {"0", "0", {}, 183, kName + "100000", 200001}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        InstanceTest launch;
        launch.ctx.config.setNarrow(10005, row.single);
        launch.ctx.config.setNarrow(158, row.global);
        launch.fake.ipc.semaphores = row.taken;
        launch.fake.ipc.semaphoreError = row.error;
        EXPECT_EQ(launch.check(), std::nullopt);
        EXPECT_EQ(launch.ctx.semaphoreName, row.name);
        // Every name found taken is closed again; the one kept stays open.
        EXPECT_EQ(launch.fake.ipc.semaphoreCalls.size(), row.calls);
        EXPECT_THAT(launch.logText(), HasSubstr("semaphore name " + row.name + ", code " +
                                                std::to_string(row.error.value_or(0))));
    }
}

// The first start records its id for a second one, which reads only a four-byte value as an id.
TEST_F(InstanceTest, FirstInstanceRecordsItsPidAndListens) {
    EXPECT_EQ(check(), std::nullopt);
    auto value = fake.registry.value(Root::CurrentUser, kPidKey, kValueName);
    ASSERT_TRUE(value && value->isDword);
    EXPECT_EQ(value->data, (Bytes{0x09, 0x03, 0, 0}));
    EXPECT_THAT(fake.ipc.mailslots, ElementsAre(kMailslot));
    fake.threads.started.at(0)(); // its mailslot is empty and fails: the listener ends
    EXPECT_THAT(logText(), HasSubstr("single instance mode\n"));
    EXPECT_THAT(logText(), HasSubstr("creating mailslot successful\nlistening to mailslot\n"
                                     "error waiting for mailslot 6\n"));
    for (const auto& [data, pid] :
         {std::pair<Bytes, std::uint32_t>{{0x78, 0x56, 0x34, 0x12}, 0x12345678u},
          {{0x78, 0x56}, 0},
          {{1, 0, 0, 0, 0}, 0}}) {
        fake.registry.setBinary(Root::CurrentUser, kPidKey, kValueName, data);
        EXPECT_EQ(readInstancePid(ctx, kValueName), pid);
    }
    EXPECT_EQ(readInstancePid(ctx, "c:\\other.exe"), 0u);
}

TEST_F(InstanceTest, SecondInstanceHandsOverItsTailAndEndsWithZero) {
    // clang-format off
    struct Row { int pidAfterPolls; /* -1: never */ const char* activate; bool notify; int sleeps;
                 bool sent, raised; } rows[] = {
        {0, "1", true, 0, true, true}, {7, "0", true, 7, true, false}, {50, "1", true, 50, true, true},
        {-1, "1", true, 50, false, false}, {0, "1", false, 0, false, true}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pidAfterPolls);
        InstanceTest later;
        later.fake.process.commandLineText = u"\"C:\\Program Files\\My App\\MyApp.exe\" a \"b c\"";
        later.ctx.config.setNarrow(10007, row.activate);
        later.fake.ipc.semaphores = {kName};
        later.fake.ipc.mailslots = {kMailslot};
        later.fake.ui.windows = {win(777, true, true)};
        auto poll = [&, polls = 0]() mutable { // the pid shows at poll number pidAfterPolls
            if (polls++ == row.pidAfterPolls)
                later.fake.registry.setBinary(Root::CurrentUser, kPidKey, kValueName, {9, 3, 0, 0});
        };
        poll();
        later.fake.system.onSleep = poll;
        EXPECT_EQ(later.check(row.notify), 0);
        EXPECT_EQ(later.fake.system.calls, std::vector<std::string>(row.sleeps, "sleep 100"));
        EXPECT_THAT(later.fake.ipc.semaphoreCalls, ElementsAre("create " + kName, "close"));
        EXPECT_THAT(later.logText(), HasSubstr(row.pidAfterPolls < 0 ? "other pid 0\nexiting\n"
                                                                     : "other pid 777\n"));
        EXPECT_EQ(later.fake.ipc.sent[kMailslot],
                  std::vector<Bytes>(row.sent, utf16(u"a \"b c\"")));
        EXPECT_EQ(later.fake.ui.windows[0].minimized, !row.raised);
    }
}

// Refuses to attach until the VM "exists", then records deliveries.
struct RecordingSink : NotificationSink {
    bool attach() override { return --refusals < 0; }
    void deliver(const std::optional<std::u16string>& tail) override { delivered.push_back(tail); }
    int refusals = 3;
    std::vector<std::optional<std::u16string>> delivered;
};

enum Fault { None, SizeQuery, Read, ShortRead };
struct FailingMailslot : test::FakeMailslot {
    bool read(void* to, std::uint32_t room, std::uint32_t& count, std::uint32_t& error) override {
        if (room > 0 && fault == Read)
            return error = 31, false;
        bool ok = FakeMailslot::read(to, room, count, error);
        count -= ok && fault == ShortRead; // one byte short
        return ok;
    }
    std::optional<std::uint32_t> nextMessageSize(std::uint32_t& error) override {
        error = 31;
        return fault == SizeQuery ? std::nullopt : FakeMailslot::nextMessageSize(error);
    }
    Fault fault = None;
};

TEST_F(InstanceTest, ListenerDeliversInOrderUntilTheMailslotFails) {
    std::u16string nearMarker = u"__kwn_empty_command_linE";
    using Tails = std::vector<std::optional<std::u16string>>;
    const Tails all = {std::nullopt, nearMarker, u"ab", u"-open \u20ac\u00e9", u""};
    // Windows blocks in the zero-byte wait (122); Wine fails it at once (109) and so never asks
    // for the size or hears that the mailslot is empty. A start is held until the VM exists.
    // clang-format off
    struct Row { std::uint32_t waitError; Fault fault; Tails delivered;
                 int attachPauses, emptyPauses; const char* logged; } rows[] = {
        {122, None, all, 3, 1, "mailslot empty\nerror waiting for mailslot 6\n"},
        {109, None, all, 3, 0, "listening to mailslot\nerror waiting for mailslot 6\n"},
        {122, SizeQuery, {}, 0, 0, "error reading from mailslot 31\n"},
        {122, Read, {}, 0, 1, "error mailslot ReadFile 31\n"},
        {122, ShortRead, {}, 0, 1, "error mailslot read 47 instead of 48\n"}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.logged);
        FailingMailslot mailslot;
        mailslot.waitError = row.waitError;
        mailslot.fault = row.fault;
        mailslot.messages = {utf16(kEmptyCommandLine),
                             utf16(nearMarker),
                             {'a', 0, 'b', 0, 'c'},
                             utf16(u"-open \u20ac\u00e9"),
                             {}};
        mailslot.emptyAnswers = 1;
        RecordingSink sink;
        auto& calls = fake.system.calls;
        calls.clear();
        listenForNotifications(ctx, mailslot, sink);
        EXPECT_EQ(sink.delivered, row.delivered);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "sleep 100"), row.attachPauses);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "sleep 1000"), row.emptyPauses);
        EXPECT_THAT(logText(), HasSubstr(row.logged));
    }
}

TEST_F(InstanceTest, SenderWaitsForTheMailslotAndReportsFailures) {
    // clang-format off
    struct Row { std::u16string tail; int openFailures; std::uint32_t writeError, shortBy;
                 std::vector<Bytes> sent; std::string logged; } rows[] = {
        {u"", 3, 0, 0, {utf16(kEmptyCommandLine)}, "mailslot name " + kMailslot + "\n"},
        {u"\u20acx", 50, 0, 0, {{0xAC, 0x20, 'x', 0}}, "mailslot name"},
        {u"x", 51, 0, 0, {}, "error mailslot CreateFile 2\n"},
        {u"x", 0, 232, 0, {}, "error mailslot WriteFile 232\n"},
        {u"xy", 0, 0, 1, {{'x', 0, 'y'}}, "error mailslot WriteFile length 3 4\n"}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.logged);
        fake.ipc.mailslots = {kMailslot};
        fake.ipc.openFailures = row.openFailures;
        fake.ipc.writeError = row.writeError;
        fake.ipc.writeShortBy = row.shortBy;
        sendCommandLine(ctx, 777, row.tail);
        EXPECT_EQ(std::exchange(fake.ipc.sent[kMailslot], {}), row.sent);
        EXPECT_THAT(logText(), HasSubstr(row.logged));
    }
    EXPECT_EQ(fake.system.calls, std::vector<std::string>(3 + 50 + 50, "sleep 100"));
}

TEST_F(InstanceTest, RaisingBringsEveryVisibleWindowOfTheProcessForward) {
    // z-order: another process's window, ours minimised with a dialog open, ours hidden, ours.
    fake.ui.windows = {win(1, true, false), win(777, true, true, 3), win(777, false, true),
                       win(777, true, false), win(777, true, false)};
    activateProcessWindows(ctx, 777, false);
    EXPECT_THAT(fake.ui.windowCalls, ElementsAre("foreground 2", "foreground 4", "foreground 4",
                                                 "foreground 4", "foreground 5", "foreground 5"));
    activateProcessWindows(ctx, 777, true);
    EXPECT_EQ(fake.ui.windowCalls.at(6), "restore 2"); // before anything else of the second call
    EXPECT_TRUE(fake.ui.windows[2].minimized);         // hidden windows are left alone
    EXPECT_THAT(logText(), HasSubstr("found window 0000000000000002\nrestore\nforeground\npopup\n"
                                     "done\nfound window 0000000000000004\nforeground\n"));
}

// A console launcher finds its console window and leaves it out; a windowed one never looks,
// and without a console there is nothing to leave out.
TEST_F(InstanceTest, CountingLeavesOutTheLaunchersOwnConsole) {
    // clang-format off
    struct Row { const char* type; std::optional<std::string> title; int count;
                 std::vector<std::string> titlesSet; } rows[] = {
        {"0", "cmd", 1, {"-294967296/777", "cmd"}}, {"1", "cmd", 2, {}}, {"0", {}, 2, {}}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        InstanceTest own;
        own.ctx.config.setNarrow(107, row.type);
        own.fake.console.consoleTitle = row.title;
        own.fake.ui.windows = {win(777, true, false), win(777, true, false), win(1, true, false)};
        // The console window shows the title the launcher gives it.
        own.fake.ui.onFindWindow = [&](const std::string& t) { own.fake.ui.windows[0].title = t; };
        EXPECT_EQ(countProcessWindows(own.ctx, 777), row.count);
        EXPECT_EQ(countProcessWindows(own.ctx, 777), row.count); // looked for once only
        EXPECT_EQ(own.fake.console.consoleTitle, row.title);     // its title is put back
        EXPECT_EQ(own.fake.system.calls, std::vector<std::string>(row.count == 1, "sleep 40"));
        EXPECT_EQ(own.fake.console.titlesSet, row.titlesSet);
    }
}

} // namespace
} // namespace kwn::instance
