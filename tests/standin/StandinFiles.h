#pragma once
// What the stand-ins share: where they live, reading the behaviour file beside them and
// appending to the record a test reads back. Plain Win32 calls only, so that the DLL can use
// them from DllMain and every program stays free of runtime DLLs.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace kwn::standin {

// The directory of the given module (null: the program itself), with its trailing backslash.
inline std::string moduleDirectory(HMODULE module) {
    std::string path(32768, '\0');
    DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of('\\') + 1);
}

inline std::string modulePath(HMODULE module) {
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// The whole file, or nothing when it cannot be read.
inline std::string readWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

// One write per line with FILE_APPEND_DATA, so that lines of processes that run at the same
// time never interleave inside a line.
// The "key=value" lines of a stand-in's behaviour file, in order; blank lines, lines starting
// with "#" and lines without "=" are skipped, CR LF line ends accepted.
inline std::vector<std::pair<std::string, std::string>> readSettings(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> settings;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        settings.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return settings;
}

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

// The value of an environment variable, or nothing when it is unset or empty.
inline std::string environmentValue(const char* name) {
    std::string value(32768, '\0');
    DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

} // namespace kwn::standin
