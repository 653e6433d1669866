#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

#include <commctrl.h>

namespace kwn::platform::win32 {

namespace {
UINT styleFlags(MessageBoxStyle style) {
    switch (style) {
    case MessageBoxStyle::ErrorOk:
        return MB_ICONERROR | MB_OK;
    case MessageBoxStyle::QuestionYesNo:
        return MB_YESNO;
    default:
        return MB_OK;
    }
}

MessageBoxAnswer answerOf(int result) {
    switch (result) {
    case IDOK:
        return MessageBoxAnswer::Ok;
    case IDYES:
        return MessageBoxAnswer::Yes;
    case IDNO:
        return MessageBoxAnswer::No;
    default:
        return MessageBoxAnswer::Failed;
    }
}
} // namespace

void Win32UserInterface::initCommonControls() {
    InitCommonControls();
}

MessageBoxAnswer Win32UserInterface::messageBox(WindowHandle owner, const std::string& text,
                                                const std::string& caption, MessageBoxStyle style) {
    return answerOf(
        MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), styleFlags(style)));
}

MessageBoxAnswer Win32UserInterface::messageBoxW(WindowHandle owner, const std::u16string& text,
                                                 const std::u16string& caption,
                                                 MessageBoxStyle style) {
    return answerOf(
        MessageBoxW(static_cast<HWND>(owner), wide(text), wide(caption), styleFlags(style)));
}

namespace {
BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(window);
    return TRUE;
}
} // namespace

std::vector<WindowHandle> Win32UserInterface::topLevelWindows() {
    std::vector<WindowHandle> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool Win32UserInterface::isWindowVisible(WindowHandle window) {
    return IsWindowVisible(static_cast<HWND>(window)) != FALSE;
}

std::uint32_t Win32UserInterface::windowProcessId(WindowHandle window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(static_cast<HWND>(window), &processId);
    return processId;
}

bool Win32UserInterface::isMinimized(WindowHandle window) {
    return IsIconic(static_cast<HWND>(window)) != FALSE;
}

void Win32UserInterface::restoreWindow(WindowHandle window) {
    ShowWindow(static_cast<HWND>(window), SW_RESTORE);
}

void Win32UserInterface::setForegroundWindow(WindowHandle window) {
    SetForegroundWindow(static_cast<HWND>(window));
}

WindowHandle Win32UserInterface::lastActivePopup(WindowHandle window) {
    return GetLastActivePopup(static_cast<HWND>(window));
}

WindowHandle Win32UserInterface::findWindowByTitle(const std::string& title) {
    return FindWindowA(nullptr, title.c_str());
}

} // namespace kwn::platform::win32
