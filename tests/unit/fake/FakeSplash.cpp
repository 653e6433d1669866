#include "fake/FakeSplash.h"

#include "fake/FakePlatform.h"

#include <deque>

namespace kwn::test {

namespace {
// Fonts are handed out as "font N" texts so that a drawn line shows which font it used.
class FakeCanvas : public platform::SplashCanvas {
public:
    FakeCanvas(FakeSplash& splash, std::vector<std::string>& drawn)
        : splash_(splash), drawn_(drawn) {}
    int logPixelsY() override { return 96; }
    platform::FontHandle createFont(const platform::FontSpec& wanted) override {
        fonts_.push_back(std::to_string(wanted.height) + " " + std::to_string(wanted.weight) + " " +
                         wanted.faceName);
        drawn_.push_back("font " + fonts_.back());
        return &fonts_.back();
    }
    bool drawBitmap(int resourceId, int width, int height) override {
        drawn_.push_back("bitmap " + std::to_string(resourceId) + " " + std::to_string(width) +
                         "x" + std::to_string(height) + (splash_.bitmapPresent ? "" : " missing"));
        return splash_.bitmapPresent;
    }
    void drawText(platform::FontHandle font, std::uint32_t colour, int x, int y,
                  const std::string& text) override {
        drawn_.push_back("text " + *static_cast<std::string*>(font) + " #" +
                         std::to_string(colour) + " " + std::to_string(x) + "," +
                         std::to_string(y) + " " + text);
    }

private:
    FakeSplash& splash_;
    std::vector<std::string>& drawn_;
    static inline std::deque<std::string> fonts_; // outlive every canvas, as fonts do
};
} // namespace

platform::WindowHandle
FakeSplash::createWindow(void*, const std::string& title, int x, int y, int width, int height,
                         std::function<void(platform::SplashCanvas&)> paint) {
    if (!createFails) {
        ui_.windows.push_back({ipc_.processId, false, false, title, -1});
        paint_ = std::move(paint);
    }
    record("create " + title + " " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + " " + std::to_string(height));
    // The handle is the window's position on the desktop plus one, as the fake desktop has it.
    return createFails ? nullptr : reinterpret_cast<platform::WindowHandle>(ui_.windows.size());
}

void FakeSplash::showWindow(platform::WindowHandle window, int showCommand) {
    if (window)
        ui_.windows.at(reinterpret_cast<std::size_t>(window) - 1).visible = showCommand != 0;
    record("show " + std::to_string(showCommand));
}

int FakeSplash::runMessageLoop() {
    while (!quit_ && ticks < maxTicks) {
        if (beforeTick)
            beforeTick(ticks);
        ++ticks;
        tick_();
    }
    return 0;
}

std::vector<std::string> FakeSplash::paint() {
    paints.emplace_back();
    FakeCanvas canvas(*this, paints.back());
    paint_(canvas);
    return paints.back();
}

} // namespace kwn::test
