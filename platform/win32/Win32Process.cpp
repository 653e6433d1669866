#include "platform/win32/WideText.h"

#include "platform/win32/Win32Platform.h"
#include <cstdlib>

namespace kwn::platform::win32 {

std::optional<std::string> Win32Environment::get(const std::string& name) {
    DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>("");
    std::string value(needed, '\0');
    DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
    value.resize(length < needed ? length : 0);
    return value;
}

std::optional<std::u16string> Win32Environment::getW(const std::u16string& name) {
    DWORD needed = GetEnvironmentVariableW(wide(name), nullptr, 0);
    if (needed == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::u16string>(u"");
    std::wstring value(needed, L'\0');
    DWORD length = GetEnvironmentVariableW(wide(name), value.data(), needed);
    return fromWide(value.c_str(), length < needed ? length : 0);
}

namespace {
template <class Char> std::vector<std::basic_string<Char>> splitBlock(const Char* block) {
    std::vector<std::basic_string<Char>> entries;
    for (const Char* entry = block; entry && *entry;) {
        std::basic_string<Char> text(entry);
        entry += text.size() + 1;
        entries.push_back(std::move(text));
    }
    return entries;
}
} // namespace

std::vector<std::string> Win32Environment::block() {
    char* strings = GetEnvironmentStrings(); // the narrow block has no "A" name
    std::vector<std::string> entries = splitBlock(strings);
    if (strings)
        FreeEnvironmentStringsA(strings);
    return entries;
}

std::vector<std::u16string> Win32Environment::blockW() {
    wchar_t* strings = GetEnvironmentStringsW();
    std::vector<std::u16string> entries;
    for (const std::wstring& entry : splitBlock(strings))
        entries.push_back(fromWide(entry.c_str(), entry.size()));
    if (strings)
        FreeEnvironmentStringsW(strings);
    return entries;
}

std::optional<std::string> Win32Environment::getRuntimeVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Win32Environment::putRuntimeVariable(const std::string& assignment) {
    _putenv(assignment.c_str());
}

std::uint32_t Win32Environment::set(const std::string& name, const std::string& value) {
    if (SetEnvironmentVariableA(name.c_str(), value.c_str()))
        return 0;
    return GetLastError();
}

std::u16string Win32Process::commandLine() {
    return fromWide(GetCommandLineW());
}

std::u16string Win32Process::moduleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return fromWide(buffer.c_str(), length);
        buffer.resize(buffer.size() * 2); // a long path was cut: ask again with more room
    }
}

std::string Win32Process::moduleFileNameA() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return buffer.substr(0, length);
        buffer.resize(buffer.size() * 2);
    }
}

NarrowText Win32CodePage::toNarrow(const std::u16string& text) {
    NarrowText result;
    if (text.empty())
        return result;
    UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(codePage, 0, wide(text), static_cast<int>(text.size()), nullptr,
                                   0, "?", &usedDefault);
    result.text.assign(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(codePage, 0, wide(text), static_cast<int>(text.size()), result.text.data(),
                        size, "?", &usedDefault);
    result.usedDefaultCharacter = usedDefault != FALSE;
    return result;
}

std::u16string Win32CodePage::toWide(const std::string& text) {
    if (text.empty())
        return {};
    UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    int size =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return fromWide(out.c_str(), out.size());
}

std::uint32_t Win32Process::startProcess(const std::u16string& commandLine) {
    std::u16string mutableLine = commandLine; // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(mutableLine.data()), nullptr, nullptr,
                        TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info))
        return GetLastError();
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

void Win32Process::exitProcess(int code) {
    ExitProcess(static_cast<UINT>(code));
}

} // namespace kwn::platform::win32
