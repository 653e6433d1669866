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

} // namespace kwn::platform::win32
