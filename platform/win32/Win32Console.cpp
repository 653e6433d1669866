#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

#include <algorithm>

namespace kwn::platform::win32 {

namespace {
// The handle is looked up at each write, not once at start: a console obtained later through
// the console switches replaces it.
void writeStandardStream(DWORD stream, const std::string& text) {
    HANDLE handle = GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return; // no console and no redirection: the text is lost, as on a text stream
    std::string lines;
    lines.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n')
            lines += '\r'; // text-mode line ends
        lines += c;
    }
    DWORD written = 0;
    WriteFile(handle, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    FlushFileBuffers(handle);
}

using AttachConsoleFunction = BOOL(WINAPI*)(DWORD);
} // namespace

void Win32Console::writeError(const std::string& text) {
    writeStandardStream(STD_ERROR_HANDLE, text);
}

void Win32Console::writeOutput(const std::string& text) {
    writeStandardStream(STD_OUTPUT_HANDLE, text);
}

Console::AttachResult Win32Console::attachParentConsole() {
    // Looked up at run time so that the launcher still starts where kernel32 lacks it.
    auto attach = reinterpret_cast<AttachConsoleFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "AttachConsole")));
    if (!attach)
        return {};
    AttachResult result;
    result.available = true;
    result.ok = attach(ATTACH_PARENT_PROCESS) != FALSE;
    result.error = result.ok ? 0 : GetLastError();
    return result;
}

bool Win32Console::allocConsole() {
    return AllocConsole() != FALSE;
}

std::uint32_t Win32Console::outputCodePage() {
    return GetConsoleOutputCP();
}

std::optional<std::string> Win32Console::title() {
    std::string text(kTitleCapacity, '\0');
    DWORD length = GetConsoleTitleA(text.data(), kTitleCapacity);
    if (length == 0)
        return std::nullopt;
    text.resize(std::min<DWORD>(length, kTitleCapacity - 1));
    return text;
}

bool Win32Console::setTitle(const std::string& title) {
    return SetConsoleTitleA(title.c_str()) != FALSE;
}

} // namespace kwn::platform::win32
