#include "splash/Splash.h"

#include "config/ConfigKeys.h"
#include "fake/LoggedLaunchTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::splash {
namespace {

using namespace config::key;
using namespace testing;
using Settings = std::vector<std::pair<config::Key, std::string>>;

// The application's controller as the splash thread sees it: the VM appears after vmAfter
// attach attempts; actions are handed out in order, then 0, and each action 2 takes the next text.
struct Script {
    int vmAfter = 100; // never, within the ticks of a test
    bool present = true;
    std::vector<int> actions = {};
    std::vector<std::optional<std::u16string>> texts = {};
};
struct ScriptedController : SplashController, Script {
    ScriptedController(Script script = {}) : Script(std::move(script)) {}
    bool attach() override { return ++attaches > vmAfter; }
    bool findController() override { return ++lookups, present; }
    int getAction() override { return ++polls <= actions.size() ? actions[polls - 1] : 0; }
    std::optional<std::u16string> getText() override { return texts.at(fetched++); }
    void detach() override { ++detaches; }
    int attaches = 0, lookups = 0, detaches = 0;
    std::size_t polls = 0, fetched = 0;
};

struct Machine : test::LoggedLaunch {
    explicit Machine(const Settings& settings = {}) {
        for (const auto& [key, value] : settings)
            ctx.config.setNarrow(key, value);
    }
    int show(int command = 1, ScriptedController c = {}) { return splashThread(ctx, command, c); }
};

TEST(SplashGeometry, CentringAndFontHeightFollowWindowsArithmetic) {
    // clang-format off
    // Odd sizes truncate, the desktop's offsets are subtracted as written, and a splash larger
    // than the desktop rounds toward zero.
    struct { platform::WindowRect desktop; int width, height, x, y; } centring[] = {
        {{0, 0, 1024, 768}, 304, 97, 360, 335}, {{0, 0, 1025, 769}, 303, 96, 361, 336},
        {{100, 50, 1124, 818}, 304, 97, 360, 335}, {{0, 0, 200, 100}, 305, 103, -52, -1}};
    struct { int a, b, c, expected; } mulDivs[] = {
        {10, 96, 72, 13}, {9, 96, 72, 12}, {10, 120, 72, 17}, {-10, 96, 72, -13}, {1, 3, 2, 2}, {-1, 3, 2, -2}, {7, 1, 0, -1},
        {0x7fffffff, 4, 1, -1}, {5, 6, -4, -8}, {-5, -6, 4, 8}, {-7, 3, -2, 11}, {0x40000000, 4, 2, -1}, {-0x40000000, 4, 2, -0x7fffffff - 1}};
    // clang-format on
    for (const auto& row : centring) {
        platform::WindowRect at = centredOn(row.desktop, row.width, row.height);
        EXPECT_THAT(std::vector<int>({at.left, at.top, at.right, at.bottom}),
                    ElementsAre(row.x, row.y, row.x + row.width, row.y + row.height));
    }
    for (const auto& row : mulDivs)
        EXPECT_EQ(mulDiv(row.a, row.b, row.c), row.expected) << row.a << " " << row.b;
}

TEST(SplashTest, WindowIsCentredShownAndPaintedWithTheConfiguredLines) {
    // clang-format off
    const Settings kLines = {
        {kApplicationName, "My App"}, {kSplashWidth, "304"}, {kSplashHeight, "97"},
        {kSplashLine1X, "10"}, {kSplashLine1Y, "70"}, {kSplashLine1Text, "Loading"},
        {kSplashLine1Size, "10"}, {kSplashLine1Color, "255,0,0"}, {kSplashLine1Weight, "700"},
        {kSplashLine2X, "200"}, {kSplashLine2Y, "5"}, {kSplashLine2Text, "v1.0"},
        {kSplashLine2Size, "36"}, {kSplashLine2Color, "0,0,257"}, {kSplashLine2Weight, "400"}};
    struct { const char* onTop; bool bitmap; std::string face, faceUsed; } rows[] = {
        {"1", true, "Arial", "Arial"},
        {"0", false, std::string(31, 'f'), std::string(31, 'f')},
        {"", true, std::string(40, 'g'), std::string(31, 'g')}};
    // clang-format on
    for (const auto& row : rows) {
        Machine m(kLines);
        test::FakeSplash& splash = m.fake.splash;
        m.ctx.config.setNarrow(kSplashOnTop, row.onTop);
        m.ctx.config.setNarrow(kSplashLine1Font, row.face);
        splash.bitmapPresent = row.bitmap;
        splash.desktop = {0, 0, 800, 600};
        splash.maxTicks = 1;
        std::vector<std::vector<std::string>> paints;
        splash.beforeTick = [&](int) { paints = {splash.paint(), splash.paint()}; };
        EXPECT_EQ(m.show(5), 0);

        EXPECT_EQ(std::erase(splash.calls, "topmost"), row.onTop[0] == '1' ? 1u : 0u);
        EXPECT_THAT(splash.calls, ElementsAre("register", "create My App 248 251 304 97", "show 5",
                                              "timer 9962 100"));
        EXPECT_EQ(m.ctx.errorOwnerWindow, m.ctx.splash.window.load());
        EXPECT_THAT(paints.at(0),
                    ElementsAre("font -13 700 " + row.faceUsed, "font -48 400 ",
                                std::string("bitmap 10000 304x97") + (row.bitmap ? "" : " missing"),
                                "text -13 700 " + row.faceUsed + " #255 10,70 Loading",
                                "text -48 400  #65536 200,5 v1.0"));
        // Fonts are made once, at the first paint.
        EXPECT_THAT(paints.at(1), Not(Contains(HasSubstr("font"))));
    }
}

TEST(SplashTest, TickHidesFollowsJavaAndStopsAsTheSituationSays) {
    enum Ends { Running, Quits, Hides };
    // clang-format off
    struct Row {
        const char* name; bool autoOff = false;
        std::vector<test::FakeUserInterface::Window> others = {}; // shown before the first tick
        std::optional<std::string> consoleTitle = std::nullopt; int hiddenAt = -1; // by another thread
        Script java = {}; Ends ends = Running; std::string firstLine = "";
    } rows[] = {
        {.name = "no VM yet"}, {.name = "auto-off off", .others = {{4242, true, false, "app"}}},
        {.name = "controller missing", .java = {.vmAfter = 3, .present = false}},
        {.name = "action 1 hides", .java = {.vmAfter = 2, .actions = {0, 0, 1}}, .ends = Hides},
        {.name = "action 2 changes the line", .java = {.vmAfter = 0, .actions = {2, 7, 0}, .texts = {u"Step \u00e9", u"x", u"y"}},
         .firstLine = "Step \xe9"},
        {.name = "action 2 with null", .java = {.vmAfter = 0, .actions = {2}, .texts = {std::nullopt}}},
        {.name = "a text longer than the line holds is cut",
         .java = {.vmAfter = 0, .actions = {2}, .texts = {std::u16string(7000, u'w')}},
         .firstLine = std::string(5999, 'w')},
        {.name = "hidden from outside", .hiddenAt = 2, .java = {.vmAfter = 0}, .ends = Quits},
        {.name = "auto-off on the application's window", .autoOff = true, .others = {{4242, true, false, "app"}}, .ends = Hides},
        {.name = "auto-off ignores other processes and hidden windows", .autoOff = true,
         .others = {{77, true, false, ""}, {4242, false, false, ""}}},
        {.name = "auto-off ignores the console", .autoOff = true, .others = {{4242, true, false, ""}}, .consoleTitle = "cmd"}};
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Machine m({{kSplashAutoOff, row.autoOff ? "1" : "0"},
                   {kLauncherType, row.consoleTitle ? "0" : "1"}});
        test::FakePlatform& fake = m.fake;
        fake.console.consoleTitle = row.consoleTitle;
        // The console window is the second one.
        fake.ui.onFindWindow = [&](const std::string& title) { fake.ui.windows[1].title = title; };
        fake.splash.maxTicks = 10;
        fake.splash.beforeTick = [&](int tick) {
            if (tick == 0)
                fake.ui.windows.insert(fake.ui.windows.end(), row.others.begin(), row.others.end());
            if (tick == row.hiddenAt)
                fake.ui.windows[0].visible = false;
        };
        ScriptedController java(row.java);
        splashThread(m.ctx, 1, java);

        EXPECT_EQ(fake.splash.calls.back() == "quit", row.ends != Running);
        EXPECT_EQ(fake.ui.windows[0].visible, row.ends == Running);
        EXPECT_EQ(java.lookups, row.java.vmAfter < 10 ? 1 : 0); // once, and only with a VM
        EXPECT_EQ(java.detaches, row.ends != Running && java.attaches > row.java.vmAfter);
        EXPECT_EQ(java.polls == 0, !row.java.present || row.java.vmAfter >= 10);
        EXPECT_EQ(std::count(fake.splash.calls.begin(), fake.splash.calls.end(), "repaint"),
                  row.firstLine.empty() ? 0 : 1);
        for (const std::vector<std::string>& paint : fake.splash.paints)
            EXPECT_THAT(paint, Contains(EndsWith(" " + row.firstLine)));
        EXPECT_EQ(std::pair(m.logText().find("Splash screen auto off") != std::string::npos,
                            m.logText().find("Hiding splash screen") != std::string::npos),
                  std::pair(row.autoOff && row.ends == Hides, row.ends == Hides));
    }
}

// Wherever a hide from another thread falls among the splash thread's calls, the window ends up
// hidden, and once the hide has returned no later call shows it again.
TEST(SplashTest, AHideAtAnyMomentOfTheStartLeavesNoSplashOnScreen) {
    for (int at : {0, 1, 2, 3, 4, 5}) { // the hide comes during that call; 0: before the first
        SCOPED_TRACE(at);
        Machine m({{kSplashWidth, "304"}, {kSplashOnTop, "1"}});
        m.fake.splash.maxTicks = 3;
        if (at == 0)
            hideSplash(m.ctx);
        int calls = 0;
        m.fake.splash.onCall = [&](const std::string& call) {
            EXPECT_FALSE(++calls > at && call.starts_with("show ") && call != "show 0") << call;
            if (calls == at)
                hideSplash(m.ctx);
        };
        m.show();
        ASSERT_GE(calls, at);
        EXPECT_FALSE(!m.fake.ui.windows.empty() && m.fake.ui.windows[0].visible);
        SplashStage stage = m.ctx.splash.stage.load();
        // Counted as shown only when hidden after the fifth call: register, create, show,
        // topmost, timer.
        EXPECT_EQ(stage == SplashStage::Shown, at == 5);
        // A splash cancelled before it was shown never becomes the owner of message boxes, and
        // its thread ends without a timer.
        if (stage == SplashStage::Cancelled) {
            EXPECT_EQ(m.ctx.errorOwnerWindow, nullptr);
            EXPECT_THAT(m.fake.splash.calls, Not(Contains("timer 9962 100")));
        }
    }
}

TEST(SplashTest, AWindowThatCannotBeMadeEndsTheSplashQuietly) {
    Machine m;
    m.fake.splash.createFails = true;
    EXPECT_EQ(m.show(), 0);
    hideSplash(m.ctx);
    EXPECT_THAT(m.fake.splash.calls, ElementsAre("register", testing::StartsWith("create ")));
    EXPECT_EQ(m.ctx.splash.stage.load(), SplashStage::Cancelled);
    EXPECT_THAT(m.logText(), HasSubstr("Initializing splash screen\nHiding splash screen\n"));
}

TEST(SplashTest, StartChoosesTheModeAndShowCommandZeroHides) {
    // clang-format off
    // The thread runs after a hide; when that came first, the thread ends at once.
    struct { const char* runtime; int showCommand; std::size_t threads, loads; } rows[] = {
        {"0", 1, 1, 0}, {"0", 0, 0, 0}, {"1", 1, 0, 1}, {"1", 0, 0, 0}};
    // clang-format on
    for (const auto& row : rows) {
        Machine m({{kRuntimeSplash, row.runtime}});
        m.ctx.jvmHome = "c:\\jre\\bin\\..";
        startSplash(m.ctx, row.showCommand);
        EXPECT_EQ(m.ctx.splash.stage.load() == SplashStage::Cancelled,
                  row.runtime[0] == '0' && row.showCommand == 0);
        hideSplash(m.ctx);
        EXPECT_EQ(m.fake.threads.started.size(), row.threads) << row.runtime;
        EXPECT_EQ(m.fake.programs.loads.size(), row.loads) << row.runtime;
        for (auto& thread : m.fake.threads.started)
            thread();
        EXPECT_THAT(m.fake.splash.calls, IsEmpty());
        if (row.threads) {
            EXPECT_THAT(m.logText(),
                        EndsWith("Starting splash screen thread\nHiding splash screen\n"
                                 "Showing splash screen\n"));
        }
    }
}

TEST(SplashTest, HidingAShownSplashGivesTheFocusBackOnlyWhenAnotherProcessHasIt) {
    // clang-format off
    struct { std::optional<std::uint32_t> foregroundPid; std::string activation; } rows[] = {
        {77, "foreground 2"}, {4242, ""}, {std::nullopt, "foreground 2"}};
    // clang-format on
    for (const auto& row : rows) {
        Machine m;
        m.fake.splash.maxTicks = 0;
        m.show();
        m.fake.ui.windows.push_back({4242, true, false, "app", -1});
        m.fake.ui.windows.push_back({row.foregroundPid.value_or(0), true, false, "fg", -1});
        if (row.foregroundPid)
            m.fake.splash.foreground = reinterpret_cast<platform::WindowHandle>(3);
        hideSplash(m.ctx);
        EXPECT_FALSE(m.fake.ui.windows[0].visible);
        EXPECT_EQ(m.fake.ui.windowCalls.empty() ? "" : m.fake.ui.windowCalls[0], row.activation);
    }
}

// The runtime's splash library: the calls it gets, in order, from functions of this test.
std::vector<std::string> runtimeCalls;

TEST(SplashTest, RuntimeSplashIsLoadedFromTheJvmHomeAndFailuresOnlyLogged) {
    const std::string kLibrary = "c:\\jre\\bin\\..\\bin\\splashscreen.dll";
    const char* kNoFunctions = "ERROR: Could not find functions";
    auto init = +[] { runtimeCalls.push_back("init"); },
         close = +[] { runtimeCalls.push_back("close"); };
    const std::map<std::string, void*> kExports = {
        {"SplashInit", reinterpret_cast<void*>(init)},
        {"SplashClose", reinterpret_cast<void*>(close)},
        {"SplashLoadMemory", reinterpret_cast<void*>(+[](const void* data, int size) {
             auto text = data ? std::string(static_cast<const char*>(data), 3) : "null";
             runtimeCalls.push_back("load " + text + " " + std::to_string(size));
             return 1;
         })}};
    // clang-format off
    struct { const char* name; std::optional<std::string> missing; bool image;
             std::vector<std::string> calls; std::string logged; } rows[] = {
        // missing: the export left out, or nullopt for no library at all
        {"no library", std::nullopt, true, {}, "ERROR: Could not load splashscreen.dll"},
        {"SplashLoadMemory missing", "SplashLoadMemory", true, {}, kNoFunctions}, {"SplashInit missing", "SplashInit", true, {}, kNoFunctions},
        {"SplashClose missing", "SplashClose", true, {}, kNoFunctions},
        {"loaded", "", true, {"init", "load GIF 6", "close", "close"}, "load memory returned 1 ("},
        {"loaded without an image", "", false, {"init", "load null 0", "close", "close"}, ", 0)"}};
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        runtimeCalls.clear();
        Machine m({{kRuntimeSplash, "1"}});
        m.ctx.jvmHome = "c:\\jre\\bin\\..";
        if (row.missing) {
            auto& functions = m.fake.programs.libraries[kLibrary].functions = kExports;
            functions.erase(*row.missing);
        }
        if (row.image)
            m.fake.splash.resources[10000] = {"GIF89a", "GIF89a", 6};
        hideSplash(m.ctx); // before loading: nothing to close
        startSplash(m.ctx, 1);
        startSplash(m.ctx, 1); // loaded once only
        hideSplash(m.ctx);
        hideSplash(m.ctx); // every hide closes again
        EXPECT_EQ(runtimeCalls, row.calls);
        EXPECT_THAT(m.fake.programs.loads, Contains(kLibrary));
        EXPECT_THAT(m.logText(),
                    AllOf(HasSubstr("loading splashscreen dll from " + kLibrary),
                          HasSubstr(row.logged), Not(HasSubstr("Hiding splash screen"))));
    }
}

} // namespace
} // namespace kwn::splash
