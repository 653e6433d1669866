#pragma once
// The launcher's own process: its command line, module, child processes and exit.
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kwn::platform {

class Process {
public:
    virtual ~Process() = default;
    virtual std::u16string commandLine() = 0;    // GetCommandLineW
    virtual std::u16string moduleFileName() = 0; // GetModuleFileNameW of the executable
    virtual std::string moduleFileNameA() = 0;   // GetModuleFileNameA of the executable
    // CreateProcessW without application name, inheriting handles, NORMAL_PRIORITY_CLASS;
    // the launcher does not wait. Returns 0 on success, else GetLastError.
    virtual std::uint32_t startProcess(const std::u16string& commandLine) = 0;
    // ExitProcess. An implementation that comes back (a test double must throw) is a bug.
    [[noreturn]] void exit(int code) {
        exitProcess(code);
        std::abort();
    }

protected:
    virtual void exitProcess(int code) = 0;
};

} // namespace kwn::platform
