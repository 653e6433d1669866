#include "instance/SingleInstance.h"
#include "instance/Notification.h"
#include "instance/WindowActivation.h"

#include "fake/LoggedLaunchTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::instance {
namespace {

using test::exitCodeOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using Bytes = std::vector<unsigned char>;

const std::string kPidKey = "SOFTWARE\\corvane-systems\\qelvo\\pids\\";
const std::string kValueName = "c:\\program files\\my app\\myapp.exe";
const std::string kName = "Local\\c:_program_files_my_app_myapp.exe";
const std::string kMailslot = "\\\\.\\mailslot\\kestrowan_notification_777";

test::FakeUserInterface::Window window(std::uint32_t pid, bool visible, bool minimized,
                                       std::string title = "", int popup = -1) {
    return {pid, visible, minimized, std::move(title), popup};
}

Bytes utf16(std::u16string_view text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

class InstanceTest : public test::LoggedLaunchTest {
protected:
    InstanceTest() : LoggedLaunchTest(u"C:\\Program Files\\My App\\MyApp.exe") {
        ctx.config.setNarrow(10005, "1");
    }
    std::optional<int> check() {
        return exitCodeOf([&] { checkInstance(ctx, true, true); });
    }
};

TEST_F(InstanceTest, SemaphoreNamesFollowThePathAndTheMode) {
    struct Row {
        const char* singleInstance;
        const char* global;
        std::set<std::string> taken;
        std::string expected;
    } rows[] = {
        {"1", "0", {}, kName},
        {"0", "0", {}, kName + "0"},
        {"0", "0", {kName + "0", kName + "1"}, kName + "2"},
        {"0",
         "1",
         {"Global\\c:_program_files_my_app_myapp.exe0"},
         "Global\\c:_program_files_my_app_myapp.exe1"},
        {"1", "7", {}, "Global\\c:_program_files_my_app_myapp.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        ctx.config.setNarrow(10005, row.singleInstance);
        ctx.config.setNarrow(158, row.global);
        fake.ipc.semaphores = row.taken;
        fake.ipc.semaphoreCalls.clear();
        EXPECT_EQ(check(), std::nullopt);
        EXPECT_EQ(ctx.semaphoreName, row.expected);
        // Every name found taken is closed again; the one kept stays open.
        size_t creates = row.taken.size() + 1;
        EXPECT_EQ(fake.ipc.semaphoreCalls.size(), 2 * creates - 1);
    }
    EXPECT_THAT(logText(), HasSubstr("semaphore name Global\\c:_program_files_my_app_myapp.exe, "
                                     "code 0, value "));
}

TEST_F(InstanceTest, TheLastNumberIsKeptEvenWhenTaken) {
    ctx.config.setNarrow(10005, "0");
    for (int n = 0; n <= 100000; ++n)
        fake.ipc.semaphores.insert(kName + std::to_string(n));
    EXPECT_EQ(check(), std::nullopt);
    EXPECT_EQ(ctx.semaphoreName, kName + "100000");
    EXPECT_EQ(fake.ipc.semaphoreCalls.back(), "create " + kName + "100000");
    EXPECT_THAT(logText(), HasSubstr("semaphore name " + kName + "100000, code 183, value "));
}

TEST(CommandLineTail, BlanksSeparateTheProgramFromItsArguments) {
    struct Row {
        std::u16string_view commandLine, tail;
    } rows[] = {
        {u"\"C:\\My App\\app.exe\"  -open \"my file.txt\"", u"-open \"my file.txt\""},
        {u"\"C:\\My App\\app.exe\"", u""},
        {u"app.exe", u""},
        {u"\"C:\\My App\\app.exe -x", u""},
        {u"app.exe   x", u"x"},
        {u"app.exe\tx y", u"y"},
        {u"\"a b\"\tx", u""},
        {u"app.exe   ", u""},
        {u"\"app.exe\" \t\u00e9 z ", u"\t\u00e9 z "},
    };
    for (const Row& row : rows)
        EXPECT_EQ(commandLineTail(row.commandLine), row.tail) << test::narrow(row.commandLine);
}

TEST_F(InstanceTest, FirstInstanceRecordsItsPidAndListens) {
    fake.ipc.processId = 777;
    EXPECT_EQ(check(), std::nullopt);
    auto value = fake.registry.value(test::FakeRegistry::Root::CurrentUser, kPidKey, kValueName);
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->isDword);
    EXPECT_EQ(value->data, (Bytes{0x09, 0x03, 0, 0}));
    EXPECT_THAT(fake.ipc.mailslots, ElementsAre(kMailslot));
    ASSERT_EQ(fake.threads.started.size(), 1u);
    fake.threads.started[0](); // its mailslot is empty and fails: the listener ends

    EXPECT_THAT(logText(), HasSubstr("single instance mode\n"));
    EXPECT_THAT(logText(), HasSubstr("creating mailslot successful\nlistening to mailslot\n"
                                     "error waiting for mailslot 6\n"));

    // A semaphore that cannot be made at all still makes a first instance.
    test::FakePlatform other;
    launcher::LaunchContext second{other.platform()};
    other.process.moduleFile = u"C:\\a.exe";
    other.ipc.semaphoreError = 5;
    other.ipc.createMailslotFails = true;
    second.config.setNarrow(10005, "1");
    EXPECT_EQ(exitCodeOf([&] { checkInstance(second, true, true); }), std::nullopt);
    EXPECT_TRUE(other.registry.value(test::FakeRegistry::Root::CurrentUser, kPidKey, "c:\\a.exe"));
    EXPECT_TRUE(other.threads.started.empty());
    EXPECT_EQ(other.ipc.semaphoreCalls, std::vector<std::string>{"create Local\\c:_a.exe"});
}

TEST_F(InstanceTest, SecondInstanceHandsOverItsTailAndEndsWithZero) {
    struct Row {
        int pidAfterPolls; // -1: never
        const char* activate;
        bool notify;
        int sleeps;
        bool sent;
        bool raised;
    } rows[] = {
        {0, "1", true, 0, true, true},   {7, "0", true, 7, true, false},
        {50, "1", true, 50, true, true}, {-1, "1", true, 50, false, false},
        {0, "1", false, 0, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pidAfterPolls);
        test::FakePlatform machine;
        launcher::LaunchContext second{machine.platform()};
        machine.process.moduleFile = u"C:\\Program Files\\My App\\MyApp.exe";
        machine.process.commandLineText = u"\"C:\\Program Files\\My App\\MyApp.exe\" a \"b c\"";
        second.config.setNarrow(10005, "1");
        second.config.setNarrow(10007, row.activate);
        machine.environment.variables["TMP"] = "C:\\Logs";
        machine.files.addDirectory("C:\\Logs");
        second.log.setForced(true);
        machine.ipc.semaphores = {kName};
        machine.ipc.mailslots = {kMailslot};
        machine.ui.windows = {window(777, true, true)};
        int polls = 0;
        machine.system.onSleep = [&] {
            if (++polls == row.pidAfterPolls)
                machine.registry.setBinary(test::FakeRegistry::Root::CurrentUser, kPidKey,
                                           kValueName, {0x09, 0x03, 0, 0});
        };
        if (row.pidAfterPolls == 0)
            machine.registry.setBinary(test::FakeRegistry::Root::CurrentUser, kPidKey, kValueName,
                                       {0x09, 0x03, 0, 0});
        EXPECT_EQ(exitCodeOf([&] { checkInstance(second, true, row.notify); }), 0);
        EXPECT_EQ(polls, row.sleeps);
        EXPECT_EQ(machine.system.calls, std::vector<std::string>(row.sleeps, "sleep 100"));
        EXPECT_THAT(machine.ipc.semaphoreCalls, ElementsAre("create " + kName, "close"));
        EXPECT_THAT(
            machine.files.text(u"C:\\Logs\\kwn_nlog_1"),
            HasSubstr(row.pidAfterPolls < 0 ? "other pid 0\nexiting\n" : "other pid 777\n"));
        EXPECT_EQ(machine.ipc.sent[kMailslot].size(), row.sent ? 1u : 0u);
        if (row.sent) {
            EXPECT_EQ(machine.ipc.sent[kMailslot][0], utf16(u"a \"b c\""));
        }
        EXPECT_EQ(machine.ui.windows[0].minimized, !row.raised);
        EXPECT_TRUE(machine.threads.started.empty()); // a second start never listens
    }
}

TEST_F(InstanceTest, OnlyAFourBytePidCounts) {
    std::pair<Bytes, std::uint32_t> rows[] = {
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678u},
        {{0x78, 0x56}, 0},
        {{1, 0, 0, 0, 0}, 0},
    };
    for (const auto& [data, pid] : rows) {
        fake.registry.setBinary(test::FakeRegistry::Root::CurrentUser, kPidKey, kValueName, data);
        EXPECT_EQ(readInstancePid(ctx, kValueName), pid);
    }
    EXPECT_EQ(readInstancePid(ctx, "c:\\other.exe"), 0u);
}

// The listener's sink: refuses to attach until the VM "exists", then records deliveries.
struct RecordingSink : NotificationSink {
    bool attach() override { return --refusals < 0; }
    void deliver(const std::optional<std::u16string>& tail) override { delivered.push_back(tail); }
    int refusals = 0;
    std::vector<std::optional<std::u16string>> delivered;
};

TEST_F(InstanceTest, ListenerDeliversEveryMessageInOrder) {
    std::u16string marker(kEmptyCommandLine);
    std::u16string nearMarker = marker;
    nearMarker[23] = u'E';
    Bytes odd = utf16(u"ab");
    odd.push_back('c');
    for (std::uint32_t waitError : {122u, 109u}) { // Windows blocks; Wine fails the wait at once
        SCOPED_TRACE(waitError);
        test::FakeMailslot mailslot;
        mailslot.waitError = waitError;
        mailslot.messages = {
            utf16(marker), utf16(nearMarker), odd, utf16(u"-open \u20ac\u00e9"), {}};
        mailslot.emptyAnswers = 1;
        RecordingSink sink;
        sink.refusals = 3;
        fake.system.calls.clear();
        listenForNotifications(ctx, mailslot, sink);
        EXPECT_THAT(sink.delivered,
                    ElementsAre(std::nullopt, nearMarker, u"ab", u"-open \u20ac\u00e9", u""));
        // Held until the VM exists, then never waited for again.
        int attachPauses = static_cast<int>(
            std::count(fake.system.calls.begin(), fake.system.calls.end(), "sleep 100"));
        EXPECT_EQ(attachPauses, 3);
        EXPECT_EQ(std::count(fake.system.calls.begin(), fake.system.calls.end(), "sleep 1000"),
                  waitError == 122 ? 1 : 0); // Wine's path never asks for the size
    }
    EXPECT_THAT(logText(), HasSubstr("mailslot empty\n"));
    EXPECT_THAT(logText(), HasSubstr("error waiting for mailslot 6\n"));
}

TEST_F(InstanceTest, ListenerStopsWhenTheMailslotFails) {
    enum Fault { SizeQuery, Read, ShortRead };
    struct FailingMailslot : test::FakeMailslot {
        bool read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                  std::uint32_t& error) override {
            if (capacity > 0 && fault == Read) {
                error = 31;
                return false;
            }
            bool ok = FakeMailslot::read(buffer, capacity, bytesRead, error);
            if (ok && fault == ShortRead)
                --bytesRead;
            return ok;
        }
        std::optional<std::uint32_t> nextMessageSize(std::uint32_t& error) override {
            error = 31;
            return fault == SizeQuery ? std::nullopt : FakeMailslot::nextMessageSize(error);
        }
        Fault fault = SizeQuery;
    };
    std::pair<Fault, const char*> rows[] = {{SizeQuery, "error reading from mailslot 31\n"},
                                            {Read, "error mailslot ReadFile 31\n"},
                                            {ShortRead, "error mailslot read 5 instead of 6\n"}};
    for (const auto& [fault, logged] : rows) {
        FailingMailslot mailslot;
        mailslot.fault = fault;
        mailslot.messages = {utf16(u"abc"), utf16(u"never")};
        RecordingSink sink;
        listenForNotifications(ctx, mailslot, sink);
        EXPECT_THAT(sink.delivered, IsEmpty());
        EXPECT_THAT(logText(), HasSubstr(logged));
    }
}

TEST_F(InstanceTest, SenderWaitsForTheMailslotAndReportsFailures) {
    struct Row {
        std::u16string tail;
        int openFailures;
        std::uint32_t writeError, shortBy;
        size_t sent;
        const char* logged;
    } rows[] = {
        {u"", 3, 0, 0, 1, "mailslot name \\\\.\\mailslot\\kestrowan_notification_777\n"},
        {u"x", 50, 0, 0, 1, "mailslot name"},
        {u"x", 51, 0, 0, 0, "error mailslot CreateFile 2\n"},
        {u"x", 0, 232, 0, 0, "error mailslot WriteFile 232\n"},
        {u"xy", 0, 0, 1, 1, "error mailslot WriteFile length 3 4\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.logged);
        fake.ipc.mailslots = {kMailslot};
        fake.ipc.sent.clear();
        fake.ipc.openFailures = row.openFailures;
        fake.ipc.writeError = row.writeError;
        fake.ipc.writeShortBy = row.shortBy;
        sendCommandLine(ctx, 777, row.tail);
        EXPECT_EQ(fake.ipc.sent[kMailslot].size(), row.sent);
        EXPECT_THAT(logText(), HasSubstr(row.logged));
    }
    EXPECT_EQ(fake.ipc.sent[kMailslot].empty() ? Bytes{} : fake.ipc.sent[kMailslot][0],
              Bytes({'x', 0, 'y'}));
    fake.ipc.sent.clear();
    EXPECT_EQ(std::count(fake.system.calls.begin(), fake.system.calls.end(), "sleep 100"),
              3 + 50 + 50);
    fake.ipc.sent.clear();
    fake.ipc.writeShortBy = 0;
    sendCommandLine(ctx, 777, u"");
    sendCommandLine(ctx, 777, u"\u20acx");
    EXPECT_THAT(fake.ipc.sent[kMailslot],
                ElementsAre(utf16(kEmptyCommandLine), Bytes{0xAC, 0x20, 'x', 0}));
}

TEST_F(InstanceTest, RaisingBringsEveryVisibleWindowOfTheProcessForward) {
    // z-order: another process's window, ours minimised with a dialog open, ours hidden, ours.
    fake.ui.windows = {window(1, true, false), window(777, true, true, "", 3),
                       window(777, false, true), window(777, true, false),
                       window(777, true, false)};
    activateProcessWindows(ctx, 777, false);
    EXPECT_THAT(fake.ui.windowCalls, ElementsAre("foreground 2", "foreground 4", "foreground 4",
                                                 "foreground 4", "foreground 5", "foreground 5"));
    fake.ui.windowCalls.clear();
    activateProcessWindows(ctx, 777, true);
    EXPECT_EQ(fake.ui.windowCalls.front(), "restore 2");
    EXPECT_FALSE(fake.ui.windows[2].minimized == false); // hidden windows are left alone
    EXPECT_THAT(logText(), HasSubstr("found window 0000000000000002\nrestore\nforeground\npopup\n"
                                     "done\nfound window 0000000000000004\nforeground\n"));
}

TEST_F(InstanceTest, CountingLeavesOutTheLaunchersOwnConsole) {
    struct Row {
        const char* type;
        std::optional<std::string> title;
        int count;
    } rows[] = {
        {"0", "cmd", 1},        // the console window is found and left out
        {"1", "cmd", 2},        // a windowed launcher never looks for one
        {"0", std::nullopt, 2}, // no console, nothing to leave out
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        test::FakePlatform machine;
        launcher::LaunchContext own{machine.platform()};
        own.config.setNarrow(107, row.type);
        machine.ipc.processId = 777;
        machine.console.consoleTitle = row.title;
        machine.ui.windows = {window(777, true, false, "cmd"), window(777, true, false),
                              window(1, true, false)};
        // The console window shows the title the launcher gives it.
        machine.ui.onFindWindow = [&](const std::string& title) {
            machine.ui.windows[0].title = title;
        };
        EXPECT_EQ(countProcessWindows(own, 777), row.count);
        EXPECT_EQ(countProcessWindows(own, 777), row.count); // looked for once only
        EXPECT_EQ(machine.console.consoleTitle, row.title);  // its title is put back
        EXPECT_LE(machine.console.titlesSet.size(), 2u);
        EXPECT_EQ(machine.system.calls, std::vector<std::string>(row.count == 1, "sleep 40"));
        if (row.count == 1) {
            EXPECT_THAT(machine.console.titlesSet, ElementsAre("-294967296/777", "cmd"));
        }
    }
}

} // namespace
} // namespace kwn::instance
