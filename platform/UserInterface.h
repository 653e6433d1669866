#pragma once
// Message boxes and the common controls library.
#include <cstdint>
#include <string>

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
};

} // namespace kwn::platform
