#pragma once
// The splash window's side of Windows: the window joins the fake desktop's top-level windows,
// painting is recorded call by call, and the message loop runs the timer a scripted number of
// times so that a test can change the world between ticks.
#include "platform/SplashScreen.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kwn::test {

class FakeUserInterface;
class FakeIpc;

class FakeSplash : public platform::SplashScreen {
public:
    FakeSplash(FakeUserInterface& ui, FakeIpc& ipc) : ui_(ui), ipc_(ipc) {}

    bool registerWindowClass(void*) override {
        record("register");
        return true;
    }
    platform::WindowRect desktopRect() override { return desktop; }
    platform::WindowHandle
    createWindow(void* instance, const std::string& title, int x, int y, int width, int height,
                 std::function<void(platform::SplashCanvas&)> paint) override;
    void showWindow(platform::WindowHandle window, int showCommand) override;
    void makeTopmost(platform::WindowHandle) override { record("topmost"); }
    void repaint(platform::WindowHandle) override {
        record("repaint");
        paint();
    }
    void startTimer(std::uint32_t id, std::uint32_t milliseconds,
                    std::function<void()> tick) override {
        tick_ = std::move(tick);
        record("timer " + std::to_string(id) + " " + std::to_string(milliseconds));
    }
    // Runs the timer until quit, at most maxTicks times, calling beforeTick(n) ahead of tick n.
    int runMessageLoop() override;
    void quitMessageLoop() override {
        quit_ = true;
        record("quit");
    }
    platform::WindowHandle foregroundWindow() override { return foreground; }
    std::optional<platform::ResourceData> findResourceData(void*, int id) override {
        auto found = resources.find(id);
        return found == resources.end() ? std::nullopt : std::optional(found->second);
    }

    // One paint, as WM_PAINT would run it; returns what it drew.
    std::vector<std::string> paint();

    platform::WindowRect desktop{0, 0, 1024, 768};
    bool createFails = false;
    bool bitmapPresent = true;
    int maxTicks = 20;
    std::function<void(int)> beforeTick;
    std::function<void(const std::string&)> onCall; // runs after each call is recorded
    platform::WindowHandle foreground = nullptr;
    std::map<int, platform::ResourceData> resources;

    // "register", "create title x y w h", "show N", "topmost", "timer 9962 100", "quit", ...
    std::vector<std::string> calls;
    std::vector<std::vector<std::string>> paints; // what each paint drew, in order
    int ticks = 0;

private:
    void record(const std::string& call) {
        calls.push_back(call);
        if (onCall)
            onCall(call);
    }

    FakeUserInterface& ui_;
    FakeIpc& ipc_;
    std::function<void(platform::SplashCanvas&)> paint_;
    std::function<void()> tick_;
    bool quit_ = false;
};

} // namespace kwn::test
