#pragma once
// The window of the native splash screen and the runtime's splash library: each call is one
// Windows call or the fixed sequence Windows needs around it; what is drawn where, when the
// window goes, and in which order, is the splash logic's business.
#include "platform/UserInterface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kwn::platform {

using FontHandle = void*;

struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A LOGFONT of the ANSI character set, swiss family, default precisions and quality.
struct FontSpec {
    int height = 0; // negative: character height in device units
    int weight = 0;
    std::string faceName; // empty: Windows chooses
};

// One WM_PAINT into a memory bitmap of the window's size, already filled light grey; the
// bitmap is copied to the window when the canvas goes.
class SplashCanvas {
public:
    virtual ~SplashCanvas() = default;
    virtual int logPixelsY() = 0;                              // GetDeviceCaps of the paint device
    virtual FontHandle createFont(const FontSpec& wanted) = 0; // CreateFontIndirectA
    // LoadImageA of the bitmap resource, drawn at (0, 0) and freed; false when it is missing.
    virtual bool drawBitmap(int resourceId, int width, int height) = 0;
    // TextOutA with a transparent background, the font and the COLORREF colour.
    virtual void drawText(FontHandle font, std::uint32_t colour, int x, int y,
                          const std::string& text) = 0;
};

// An RT_RCDATA resource of the launcher, as FindResourceA and LockResource give it.
struct ResourceData {
    const void* handle = nullptr;
    const void* data = nullptr;
    std::uint32_t size = 0;
};

class SplashScreen {
public:
    virtual ~SplashScreen() = default;
    // RegisterClassA of the splash class, with the "ID_SPLASH_ICON" icon when there is one.
    virtual bool registerWindowClass(void* instance) = 0;
    virtual WindowRect desktopRect() = 0; // GetWindowRect(GetDesktopWindow())
    // CreateWindowExA of a WS_POPUP window of the splash class; paint runs on each WM_PAINT.
    virtual WindowHandle createWindow(void* instance, const std::string& title, int x, int y,
                                      int width, int height,
                                      std::function<void(SplashCanvas&)> paint) = 0;
    virtual void showWindow(WindowHandle window, int showCommand) = 0;
    virtual void makeTopmost(WindowHandle window) = 0; // SetWindowPos HWND_TOPMOST
    // InvalidateRect without erasing, then UpdateWindow.
    virtual void repaint(WindowHandle window) = 0;
    // SetTimer without a window: tick runs on this thread's message loop.
    virtual void startTimer(std::uint32_t id, std::uint32_t milliseconds,
                            std::function<void()> tick) = 0;
    virtual int runMessageLoop() = 0;   // until WM_QUIT; its exit code
    virtual void quitMessageLoop() = 0; // PostQuitMessage(0)
    virtual WindowHandle foregroundWindow() = 0;
    virtual std::optional<ResourceData> findResourceData(void* instance, int id) = 0;
};

} // namespace kwn::platform
