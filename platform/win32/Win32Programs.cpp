#include "platform/win32/Win32Platform.h"

#include <windows.h>

namespace kwn::platform::win32 {

namespace {
class Win32ChildProcess : public ChildProcess {
public:
    explicit Win32ChildProcess(const PROCESS_INFORMATION& info) : info_(info) {}
    ~Win32ChildProcess() override {
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Win32ChildProcess(const Win32ChildProcess&) = delete;
    Win32ChildProcess& operator=(const Win32ChildProcess&) = delete;

    void wait(std::optional<std::uint32_t> milliseconds) override {
        WaitForSingleObject(info_.hProcess, milliseconds ? *milliseconds : INFINITE);
    }
    std::uint32_t exitCode() override {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    void terminate(std::uint32_t exitCode) override { TerminateProcess(info_.hProcess, exitCode); }

private:
    PROCESS_INFORMATION info_;
};

class Win32Library : public Library {
public:
    explicit Win32Library(HMODULE module) : module_(module) {}
    void* symbol(const std::string& name) override {
        return reinterpret_cast<void*>(GetProcAddress(module_, name.c_str()));
    }

private:
    HMODULE module_;
};

// The child's standard error, inherited: a duplicate marked inheritable, the original closed.
HANDLE inheritableOutputFile(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &duplicate, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        duplicate = nullptr;
    CloseHandle(file);
    return duplicate;
}

StartResult start(const char* program, std::string commandLine, HANDLE standardError,
                  bool redirect) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | (redirect ? STARTF_USESTDHANDLES : 0);
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = standardError;
    PROCESS_INFORMATION info{};
    StartResult result;
    if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
        result.error = GetLastError();
        return result;
    }
    result.child = std::make_unique<Win32ChildProcess>(info);
    return result;
}
} // namespace

StartResult Win32Programs::startHidden(const std::string& commandLine,
                                       const std::optional<std::string>& errorOutputFile) {
    HANDLE output = errorOutputFile ? inheritableOutputFile(*errorOutputFile) : nullptr;
    StartResult result = start(nullptr, commandLine, output, errorOutputFile.has_value());
    if (output)
        CloseHandle(output); // the child holds its own copy
    return result;
}

StartResult Win32Programs::startProgramHidden(const std::string& program,
                                              const std::string& arguments) {
    return start(program.c_str(), arguments, nullptr, false);
}

std::optional<std::string> Win32Programs::searchPath(const std::string& name) {
    std::string buffer(6000, '\0');
    DWORD length = SearchPathA(nullptr, name.c_str(), nullptr, static_cast<DWORD>(buffer.size()),
                               buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size())
        return std::nullopt;
    buffer.resize(length);
    return buffer;
}

LoadResult Win32Programs::loadLibrary(const std::string& path) {
    LoadResult result;
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module)
        result.error = GetLastError();
    else
        result.library = std::make_unique<Win32Library>(module);
    return result;
}

} // namespace kwn::platform::win32
