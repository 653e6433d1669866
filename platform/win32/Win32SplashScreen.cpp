#include "platform/win32/Win32Platform.h"

#include <windows.h>

namespace kwn::platform::win32 {

namespace {
constexpr const char* kClassName = "QelvoSplashScreen";

std::function<void(SplashCanvas&)> paintCallback;
std::function<void()> tickCallback;

// BeginPaint into a memory bitmap of the window's size; copied to the window at the end, so
// the window never shows a half-drawn splash.
class Win32Canvas : public SplashCanvas {
public:
    explicit Win32Canvas(HWND window) : window_(window) {
        device_ = BeginPaint(window_, &paint_);
        GetClientRect(window_, &area_);
        memory_ = CreateCompatibleDC(device_);
        bitmap_ = CreateCompatibleBitmap(device_, area_.right, area_.bottom);
        oldBitmap_ = SelectObject(memory_, bitmap_);
        FillRect(memory_, &area_, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        oldFont_ = GetCurrentObject(memory_, OBJ_FONT);
        oldMode_ = SetBkMode(memory_, TRANSPARENT);
        oldColour_ = GetTextColor(memory_);
    }
    ~Win32Canvas() override {
        SelectObject(memory_, oldFont_);
        SetBkMode(memory_, oldMode_);
        SetTextColor(memory_, oldColour_);
        BitBlt(device_, 0, 0, area_.right, area_.bottom, memory_, 0, 0, SRCCOPY);
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        EndPaint(window_, &paint_);
    }
    Win32Canvas(const Win32Canvas&) = delete;
    Win32Canvas& operator=(const Win32Canvas&) = delete;

    int logPixelsY() override { return GetDeviceCaps(device_, LOGPIXELSY); }

    FontHandle createFont(const FontSpec& wanted) override {
        LOGFONTA font{};
        font.lfHeight = wanted.height;
        font.lfWeight = wanted.weight;
        font.lfCharSet = ANSI_CHARSET;
        font.lfOutPrecision = OUT_DEFAULT_PRECIS;
        font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        font.lfQuality = DEFAULT_QUALITY;
        font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
        lstrcpynA(font.lfFaceName, wanted.faceName.c_str(), LF_FACESIZE);
        return CreateFontIndirectA(&font);
    }

    bool drawBitmap(int resourceId, int width, int height) override {
        HINSTANCE instance =
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window_, GWLP_HINSTANCE));
        HANDLE image = LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0);
        if (!image)
            return false;
        HDC source = CreateCompatibleDC(memory_);
        HGDIOBJ previous = SelectObject(source, image);
        BitBlt(memory_, 0, 0, width, height, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
        DeleteObject(image);
        return true;
    }

    void drawText(FontHandle font, std::uint32_t colour, int x, int y,
                  const std::string& text) override {
        SelectObject(memory_, static_cast<HFONT>(font));
        SetTextColor(memory_, colour);
        TextOutA(memory_, x, y, text.data(), static_cast<int>(text.size()));
    }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC device_ = nullptr;
    RECT area_{};
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    int oldMode_ = 0;
    COLORREF oldColour_ = 0;
};

LRESULT CALLBACK splashProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        if (paintCallback) {
            Win32Canvas canvas(window);
            paintCallback(canvas);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CALLBACK timerProcedure(HWND, UINT, UINT_PTR, DWORD) {
    if (tickCallback)
        tickCallback();
}
} // namespace

bool Win32SplashScreen::registerWindowClass(void* instance) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = splashProcedure;
    windowClass.hInstance = static_cast<HINSTANCE>(instance);
    windowClass.hIcon = LoadIconA(static_cast<HINSTANCE>(instance), "ID_SPLASH_ICON");
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass) != 0;
}

WindowRect Win32SplashScreen::desktopRect() {
    RECT rect{};
    GetWindowRect(GetDesktopWindow(), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

WindowHandle Win32SplashScreen::createWindow(void* instance, const std::string& title, int x, int y,
                                             int width, int height,
                                             std::function<void(SplashCanvas&)> paint) {
    paintCallback = std::move(paint);
    return CreateWindowExA(0, kClassName, title.c_str(), WS_POPUP, x, y, width, height, nullptr,
                           nullptr, static_cast<HINSTANCE>(instance), nullptr);
}

void Win32SplashScreen::showWindow(WindowHandle window, int showCommand) {
    ShowWindow(static_cast<HWND>(window), showCommand);
}

void Win32SplashScreen::makeTopmost(WindowHandle window) {
    SetWindowPos(static_cast<HWND>(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32SplashScreen::repaint(WindowHandle window) {
    InvalidateRect(static_cast<HWND>(window), nullptr, FALSE);
    UpdateWindow(static_cast<HWND>(window));
}

void Win32SplashScreen::startTimer(std::uint32_t id, std::uint32_t milliseconds,
                                   std::function<void()> tick) {
    tickCallback = std::move(tick);
    SetTimer(nullptr, id, milliseconds, timerProcedure);
}

int Win32SplashScreen::runMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

void Win32SplashScreen::quitMessageLoop() {
    PostQuitMessage(0);
}

WindowHandle Win32SplashScreen::foregroundWindow() {
    return GetForegroundWindow();
}

std::optional<ResourceData> Win32SplashScreen::findResourceData(void* instance, int id) {
    auto module = static_cast<HMODULE>(instance);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (!found)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    return ResourceData{found, loaded ? LockResource(loaded) : nullptr,
                        static_cast<std::uint32_t>(SizeofResource(module, found))};
}

} // namespace kwn::platform::win32
