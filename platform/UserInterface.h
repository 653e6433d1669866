#pragma once
// Message boxes, the common controls library and the top-level windows of running processes.
#include <cstdint>
#include <string>
#include <vector>

namespace kwn::platform {

using WindowHandle = void*;

enum class MessageBoxStyle { Ok, ErrorOk, QuestionYesNo };
enum class MessageBoxAnswer { Ok, Yes, No, Failed };

class UserInterface {
public:
    virtual ~UserInterface() = default;
    virtual void initCommonControls() = 0;
    virtual MessageBoxAnswer messageBox(WindowHandle owner, const std::string& text,
                                        const std::string& caption, MessageBoxStyle style) = 0;
    virtual MessageBoxAnswer messageBoxW(WindowHandle owner, const std::u16string& text,
                                         const std::u16string& caption, MessageBoxStyle style) = 0;

    // Top-level windows, as EnumWindows lists them (z-order, topmost first).
    virtual std::vector<WindowHandle> topLevelWindows() = 0;
    virtual bool isWindowVisible(WindowHandle window) = 0;
    virtual std::uint32_t windowProcessId(WindowHandle window) = 0; // GetWindowThreadProcessId
    virtual bool isMinimized(WindowHandle window) = 0;              // IsIconic
    virtual void restoreWindow(WindowHandle window) = 0;            // ShowWindow SW_RESTORE
    virtual void setForegroundWindow(WindowHandle window) = 0;
    // GetLastActivePopup: the window itself when it has no pop-up.
    virtual WindowHandle lastActivePopup(WindowHandle window) = 0;
    // FindWindowA without a class: the top-level window with exactly this title, or null.
    virtual WindowHandle findWindowByTitle(const std::string& title) = 0;
};

} // namespace kwn::platform
