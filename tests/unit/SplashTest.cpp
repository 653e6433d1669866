#include "splash/Splash.h"

#include "config/ConfigKeys.h"
#include "fake/LoggedLaunchTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

namespace kwn::splash {
namespace {

using namespace config::key;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

// The application's controller as the splash thread sees it: the VM appears after vmAfter
// attach attempts; actions and texts are handed out in order, then 0 and null.
struct ScriptedController : SplashController {
    bool attach() override { return ++attaches > vmAfter; }
    bool findController() override {
        ++lookups;
        return present;
    }
    int getAction() override {
        ++polls;
        if (actions.empty())
            return 0;
        int action = actions.front();
        actions.pop_front();
        return action;
    }
    std::optional<std::u16string> getText() override {
        if (texts.empty())
            return std::nullopt;
        std::optional<std::u16string> text = texts.front();
        texts.pop_front();
        return text;
    }
    void detach() override { ++detaches; }

    int vmAfter = 0;
    bool present = true;
    std::deque<int> actions;
    std::deque<std::optional<std::u16string>> texts;
    int attaches = 0, lookups = 0, polls = 0, detaches = 0;
};

class SplashTest : public test::LoggedLaunchTest {
protected:
    SplashTest() {
        const std::pair<config::Key, const char*> settings[] = {
            {kApplicationName, "My App"}, {kSplashWidth, "304"},    {kSplashHeight, "97"},
            {kSplashLine1X, "10"},        {kSplashLine1Y, "70"},    {kSplashLine1Text, "Loading"},
            {kSplashLine1Font, "Arial"},  {kSplashLine1Size, "10"}, {kSplashLine1Color, "255,0,0"},
            {kSplashLine1Weight, "700"},  {kSplashLine2X, "200"},   {kSplashLine2Y, "5"},
            {kSplashLine2Text, "v1.0"},   {kSplashLine2Size, "36"}, {kSplashLine2Color, "0,0,257"},
            {kSplashLine2Weight, "400"},
        };
        for (auto [key, value] : settings)
            ctx.config.setNarrow(key, value);
    }
    int runThread(int showCommand = 1) { return splashThread(ctx, showCommand, controller); }
    bool splashVisible() const { return !fake.ui.windows.empty() && fake.ui.windows[0].visible; }

    ScriptedController controller;
};

TEST(SplashGeometry, CentringAndFontHeightFollowWindowsArithmetic) {
    struct Row {
        platform::WindowRect desktop;
        int width, height, x, y;
    } centring[] = {
        {{0, 0, 1024, 768}, 304, 97, 360, 335},
        {{0, 0, 1025, 769}, 303, 96, 361, 336},    // odd: truncated
        {{100, 50, 1124, 818}, 304, 97, 360, 335}, // the offsets are subtracted, as written
        {{0, 0, 200, 100}, 305, 103, -52, -1},     // larger than the desktop: toward zero
    };
    for (const Row& row : centring) {
        platform::WindowRect at = centredOn(row.desktop, row.width, row.height);
        EXPECT_EQ(at.left, row.x) << row.width;
        EXPECT_EQ(at.top, row.y) << row.width;
        EXPECT_EQ(at.right - at.left, row.width);
        EXPECT_EQ(at.bottom - at.top, row.height);
    }
    struct MulDivRow {
        int a, b, c, expected;
    } mulDivs[] = {{10, 96, 72, 13},
                   {9, 96, 72, 12},
                   {10, 120, 72, 17},
                   {-10, 96, 72, -13},
                   {1, 3, 2, 2},
                   {-1, 3, 2, -2},
                   {7, 1, 0, -1},
                   {0x7fffffff, 4, 1, -1},
                   {5, 6, -4, -8},
                   {-5, -6, 4, 8},
                   {-7, 3, -2, 11},
                   {0x40000000, 4, 2, -1},
                   {-0x40000000, 4, 2, -0x7fffffff - 1}};
    for (const MulDivRow& row : mulDivs)
        EXPECT_EQ(mulDiv(row.a, row.b, row.c), row.expected) << row.a << " " << row.b;
}

TEST_F(SplashTest, WindowIsCentredShownAndPaintedWithTheConfiguredLines) {
    struct Row {
        const char* onTop;
        bool bitmap;
        std::string face1;
        std::string face1Used;
    } rows[] = {
        {"1", true, "Arial", "Arial"},
        {"0", false, std::string(31, 'f'), std::string(31, 'f')},
        {"", true, std::string(40, 'g'), std::string(31, 'g')},
    };
    for (const Row& row : rows) {
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        for (config::Key key :
             {kApplicationName, kSplashWidth, kSplashHeight, kSplashLine1X, kSplashLine1Y,
              kSplashLine1Text, kSplashLine1Size, kSplashLine1Color, kSplashLine1Weight,
              kSplashLine2X, kSplashLine2Y, kSplashLine2Text, kSplashLine2Size, kSplashLine2Color,
              kSplashLine2Weight})
            context.config.setNarrow(key, ctx.config.getString(key));
        context.config.setNarrow(kSplashOnTop, row.onTop);
        context.config.setNarrow(kSplashLine1Font, row.face1);
        machine.splash.bitmapPresent = row.bitmap;
        machine.splash.desktop = {0, 0, 800, 600};
        machine.splash.maxTicks = 1;
        std::vector<std::string> firstPaint, secondPaint;
        machine.splash.beforeTick = [&](int) {
            firstPaint = machine.splash.paint();
            secondPaint = machine.splash.paint();
        };
        ScriptedController idle;
        idle.vmAfter = 100;
        EXPECT_EQ(splashThread(context, 5, idle), 0);

        std::vector<std::string> expectedCalls = {"register", "create My App 248 251 304 97",
                                                  "show 5", "timer 9962 100"};
        if (row.onTop == std::string("1"))
            expectedCalls.insert(expectedCalls.begin() + 3, "topmost");
        EXPECT_EQ(machine.splash.calls, expectedCalls);
        EXPECT_EQ(context.errorOwnerWindow, context.splash.window.load());
        EXPECT_THAT(firstPaint,
                    ElementsAre("font -13 700 " + row.face1Used, "font -48 400 ",
                                std::string("bitmap 10000 304x97") + (row.bitmap ? "" : " missing"),
                                "text -13 700 " + row.face1Used + " #255 10,70 Loading",
                                "text -48 400  #65536 200,5 v1.0"));
        // Fonts are made once, at the first paint.
        EXPECT_THAT(secondPaint, Not(Contains(HasSubstr("font"))));
    }
}

TEST_F(SplashTest, TickHidesFollowsJavaAndStopsAsTheSituationSays) {
    enum Ends { Running, Quits, Hides };
    struct Row {
        const char* name;
        bool autoOff = false;
        std::vector<test::FakeUserInterface::Window> others; // shown before the first tick
        std::optional<std::string> consoleTitle = std::nullopt;
        int vmAfter = 0;
        bool present = true;
        std::deque<int> actions = {};
        std::deque<std::optional<std::u16string>> texts = {};
        Ends ends = Running;
        int lookups = 1;
        std::string firstLine = "Loading";
        bool autoOffLogged = false;
    } rows[] = {
        {"no VM yet", false, {}, {}, 100, true, {}, {}, Running, 0},
        {"controller missing", false, {}, {}, 3, false, {}, {}, Running, 1},
        {"action 1 hides", false, {}, {}, 2, true, {0, 0, 1}, {}, Hides},
        {"action 2 changes the line",
         false,
         {},
         {},
         0,
         true,
         {2, 7, 0},
         {u"Step \u00e9", u"x", u"y"},
         Running,
         1,
         "Step \xe9"},
        {"action 2 with null", false, {}, {}, 0, true, {2}, {std::nullopt}, Running},
        {"a text longer than the line holds is cut",
         false,
         {},
         {},
         0,
         true,
         {2},
         {std::u16string(7000, u'w')},
         Running,
         1,
         std::string(5999, 'w')},
        {"auto-off on the application's window",
         true,
         {{4242, true, false, "app", -1}},
         {},
         100,
         true,
         {},
         {},
         Hides,
         0,
         "Loading",
         true},
        {"auto-off ignores other processes and hidden windows",
         true,
         {{77, true, false, "", -1}, {4242, false, false, "", -1}},
         {},
         100,
         true,
         {},
         {},
         Running,
         0},
        {"auto-off ignores the console",
         true,
         {{4242, true, false, "", -1}},
         "cmd",
         100,
         true,
         {},
         {},
         Running,
         0},
        {"auto-off off",
         false,
         {{4242, true, false, "app", -1}},
         {},
         100,
         true,
         {},
         {},
         Running,
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        context.config.setNarrow(kSplashLine1Text, "Loading");
        context.config.setNarrow(kSplashAutoOff, row.autoOff ? "1" : "0");
        context.config.setNarrow(kLauncherType, row.consoleTitle ? "0" : "1");
        context.log.setForced(true);
        machine.process.moduleFile = u"C:\\apps\\tool\\run.exe";
        machine.environment.variables["TMP"] = "C:\\Logs";
        machine.files.addDirectory("C:\\Logs");
        machine.console.consoleTitle = row.consoleTitle;
        machine.ui.onFindWindow = [&](const std::string& title) {
            machine.ui.windows[1].title = title; // the console window is the second one
        };
        machine.splash.maxTicks = 10;
        machine.splash.beforeTick = [&](int tick) {
            if (tick == 0)
                machine.ui.windows.insert(machine.ui.windows.end(), row.others.begin(),
                                          row.others.end());
        };
        ScriptedController scripted;
        scripted.vmAfter = row.vmAfter;
        scripted.present = row.present;
        scripted.actions = row.actions;
        scripted.texts = row.texts;
        splashThread(context, 1, scripted);

        bool quit = !machine.splash.calls.empty() && machine.splash.calls.back() == "quit";
        EXPECT_EQ(quit, row.ends != Running);
        EXPECT_EQ(machine.ui.windows[0].visible, row.ends != Hides);
        EXPECT_EQ(scripted.lookups, row.lookups);
        EXPECT_EQ(scripted.detaches, row.ends != Running && scripted.attaches > row.vmAfter);
        if (!row.present) {
            EXPECT_EQ(scripted.polls, 0);
        }
        if (row.firstLine != "Loading") {
            EXPECT_THAT(machine.splash.paints.back(),
                        Contains(testing::EndsWith(" " + row.firstLine)));
        }
        int repaints = static_cast<int>(
            std::count(machine.splash.calls.begin(), machine.splash.calls.end(), "repaint"));
        EXPECT_EQ(repaints, row.firstLine != "Loading");
        std::string log = machine.files.text(u"C:\\Logs\\kwn_nlog_1");
        EXPECT_EQ(log.find("Splash screen auto off") != std::string::npos, row.autoOffLogged);
    }
}

TEST_F(SplashTest, AWindowHiddenFromOutsideEndsTheThreadWithoutAnotherHide) {
    fake.splash.beforeTick = [&](int tick) {
        if (tick == 2)
            fake.ui.windows[0].visible = false;
    };
    runThread();
    EXPECT_EQ(fake.splash.ticks, 3);
    EXPECT_EQ(fake.splash.calls.back(), "quit");
    EXPECT_THAT(logText(), Not(HasSubstr("Hiding splash screen")));
}

// Wherever a hide from another thread falls among the splash thread's calls, the window ends up
// hidden, and once the hide has returned no later call shows it again.
TEST_F(SplashTest, AHideAtAnyMomentOfTheStartLeavesNoSplashOnScreen) {
    const int kCallsToShown = 5; // register, create, show, topmost, timer
    ctx.config.setNarrow(kSplashOnTop, "1");
    for (int at : {-1, 1, 2, 3, 4, 5}) {
        SCOPED_TRACE(at);
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        context.config.setNarrow(kSplashWidth, "304");
        context.config.setNarrow(kSplashOnTop, "1");
        machine.splash.maxTicks = 3;
        bool hidden = false;
        auto hide = [&] {
            hideSplash(context);
            hidden = true;
        };
        if (at == -1)
            hide();
        int calls = 0;
        machine.splash.onCall = [&](const std::string& call) {
            if (hidden && call.starts_with("show ") && call != "show 0")
                ADD_FAILURE() << "shown after the hide";
            if (++calls == at)
                hide();
        };
        ScriptedController idle;
        idle.vmAfter = 100;
        splashThread(context, 1, idle);
        ASSERT_TRUE(hidden);
        bool visible = !machine.ui.windows.empty() && machine.ui.windows[0].visible;
        EXPECT_FALSE(visible);
        EXPECT_EQ(context.splash.stage.load() == SplashStage::Shown,
                  at == kCallsToShown); // hidden only after it was counted as shown
        // A splash cancelled before it was shown never becomes the owner of message boxes, and
        // its thread ends without a timer.
        if (context.splash.stage.load() == SplashStage::Cancelled) {
            EXPECT_EQ(context.errorOwnerWindow, nullptr);
            EXPECT_THAT(machine.splash.calls, Not(Contains("timer 9962 100")));
        }
    }
}

TEST_F(SplashTest, AWindowThatCannotBeMadeEndsTheSplashQuietly) {
    fake.splash.createFails = true;
    EXPECT_EQ(runThread(), 0);
    hideSplash(ctx);
    EXPECT_THAT(fake.splash.calls, ElementsAre("register", testing::StartsWith("create ")));
    EXPECT_EQ(ctx.splash.stage.load(), SplashStage::Cancelled);
    EXPECT_THAT(logText(), HasSubstr("Showing splash screen\nInitializing splash screen\nHiding "
                                     "splash screen\n"));
}

TEST_F(SplashTest, StartChoosesTheModeAndShowCommandZeroHides) {
    struct Row {
        const char* runtime;
        int showCommand;
        bool threadStarted;
        bool libraryLoaded;
    } rows[] = {{"0", 1, true, false},
                {"0", 0, false, false},
                {"1", 1, false, true},
                {"1", 0, false, false}};
    for (const Row& row : rows) {
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        context.config.setNarrow(kRuntimeSplash, row.runtime);
        context.jvmHome = "c:\\jre\\bin\\..";
        startSplash(context, row.showCommand);
        EXPECT_EQ(machine.threads.started.size(), row.threadStarted ? 1u : 0u) << row.runtime;
        EXPECT_EQ(machine.programs.loads.size(), row.libraryLoaded ? 1u : 0u) << row.runtime;
        if (row.runtime == std::string("0") && row.showCommand == 0) {
            EXPECT_EQ(context.splash.stage.load(), SplashStage::Cancelled);
        }
    }
    // The started thread ends at once when a hide came first.
    test::FakePlatform machine;
    launcher::LaunchContext context(machine.platform());
    context.log.setForced(true);
    machine.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    machine.environment.variables["TMP"] = "C:\\Logs";
    machine.files.addDirectory("C:\\Logs");
    startSplash(context, 1);
    hideSplash(context);
    machine.threads.started.at(0)();
    EXPECT_THAT(machine.splash.calls, IsEmpty());
    EXPECT_THAT(machine.files.text(u"C:\\Logs\\kwn_nlog_1"),
                testing::EndsWith("Starting splash screen thread\nHiding splash screen\n"
                                  "Showing splash screen\n"));
}

TEST_F(SplashTest, HidingAShownSplashGivesTheFocusBackOnlyWhenAnotherProcessHasIt) {
    struct Row {
        std::optional<std::uint32_t> foregroundPid;
        bool activated;
    } rows[] = {{77, true}, {4242, false}, {std::nullopt, true}};
    for (const Row& row : rows) {
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        machine.splash.maxTicks = 0;
        ScriptedController idle;
        splashThread(context, 1, idle);
        machine.ui.windows.push_back({4242, true, false, "app", -1});
        machine.ui.windows.push_back({row.foregroundPid.value_or(0), true, false, "fg", -1});
        if (row.foregroundPid)
            machine.splash.foreground = reinterpret_cast<platform::WindowHandle>(3);
        hideSplash(context);
        EXPECT_FALSE(machine.ui.windows[0].visible);
        EXPECT_EQ(!machine.ui.windowCalls.empty(), row.activated);
        if (row.activated) {
            EXPECT_EQ(machine.ui.windowCalls[0], "foreground 2");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The runtime's splash library: the calls it gets, in order, from functions of this test.

std::vector<std::string> runtimeCalls;
void splashInit() {
    runtimeCalls.push_back("init");
}
int splashLoadMemory(const void* data, int size) {
    runtimeCalls.push_back(
        "load " + (data ? std::string(static_cast<const char*>(data), 3) : std::string("null")) +
        " " + std::to_string(size));
    return 1;
}
void splashClose() {
    runtimeCalls.push_back("close");
}

TEST_F(SplashTest, RuntimeSplashIsLoadedFromTheJvmHomeAndFailuresOnlyLogged) {
    const std::string kLibrary = "c:\\jre\\bin\\..\\bin\\splashscreen.dll";
    static const char kImage[] = "GIF89a";
    struct Row {
        const char* name;
        std::optional<test::ScriptedLibrary> library;
        bool image;
        std::vector<std::string> calls;
        std::string logged;
    } rows[] = {
        {"no library", std::nullopt, true, {}, "ERROR: Could not load splashscreen.dll"},
        {"an export missing",
         test::ScriptedLibrary{{},
                               0,
                               {{"SplashInit", reinterpret_cast<void*>(&splashInit)},
                                {"SplashClose", reinterpret_cast<void*>(&splashClose)}}},
         true,
         {},
         "ERROR: Could not find functions in splashscreen.dll"},
        {"SplashInit missing",
         test::ScriptedLibrary{{},
                               0,
                               {{"SplashClose", reinterpret_cast<void*>(&splashClose)},
                                {"SplashLoadMemory", reinterpret_cast<void*>(&splashLoadMemory)}}},
         true,
         {},
         "ERROR: Could not find functions in splashscreen.dll"},
        {"loaded",
         test::ScriptedLibrary{{},
                               0,
                               {{"SplashInit", reinterpret_cast<void*>(&splashInit)},
                                {"SplashClose", reinterpret_cast<void*>(&splashClose)},
                                {"SplashLoadMemory", reinterpret_cast<void*>(&splashLoadMemory)}}},
         true,
         {"init", "load GIF 6", "close", "close"},
         "splash load memory returned 1 ("},
        {"loaded without an image",
         test::ScriptedLibrary{{},
                               0,
                               {{"SplashInit", reinterpret_cast<void*>(&splashInit)},
                                {"SplashClose", reinterpret_cast<void*>(&splashClose)},
                                {"SplashLoadMemory", reinterpret_cast<void*>(&splashLoadMemory)}}},
         false,
         {"init", "load null 0", "close", "close"},
         ", 0)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        runtimeCalls.clear();
        test::FakePlatform machine;
        launcher::LaunchContext context(machine.platform());
        context.log.setForced(true);
        machine.process.moduleFile = u"C:\\apps\\tool\\run.exe";
        machine.environment.variables["TMP"] = "C:\\Logs";
        machine.files.addDirectory("C:\\Logs");
        context.config.setNarrow(kRuntimeSplash, "1");
        context.jvmHome = "c:\\jre\\bin\\..";
        if (row.library)
            machine.programs.libraries[kLibrary] = *row.library;
        if (row.image)
            machine.splash.resources[10000] = {kImage, kImage, 6};
        hideSplash(context); // before loading: nothing to close
        startSplash(context, 1);
        startSplash(context, 1); // loaded once only
        hideSplash(context);
        hideSplash(context); // every hide closes again
        EXPECT_EQ(runtimeCalls, row.calls);
        EXPECT_THAT(machine.programs.loads, Contains(kLibrary));
        std::string log = machine.files.text(u"C:\\Logs\\kwn_nlog_1");
        EXPECT_THAT(log, HasSubstr("loading splashscreen dll from " + kLibrary));
        EXPECT_THAT(log, HasSubstr(row.logged));
        EXPECT_THAT(log, Not(HasSubstr("Hiding splash screen")));
    }
}

} // namespace
} // namespace kwn::splash
