#pragma once
// What the stand-ins share: their own path and appending to the record a test reads back. Plain
// Win32 calls only, so that the DLL can use them from DllMain and no program needs runtime DLLs.
#include <windows.h>

#include <string>

namespace kwn::standin {

inline std::string modulePath(HMODULE module) {
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

inline std::string directoryOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}

// The value of an environment variable, or nothing when it is unset or empty.
inline std::string environmentValue(const char* name) {
    std::string value(32768, '\0');
    DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

// One write per line with FILE_APPEND_DATA, so that lines of processes that run at the same
// time never interleave inside a line.
inline void appendLine(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

inline void writeStandardError(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

} // namespace kwn::standin
