#pragma once
// Child processes the launcher starts and the libraries it loads into its own process.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kwn::platform {

class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // WaitForSingleObject; an unbounded wait when milliseconds is nullopt.
    virtual void wait(std::optional<std::uint32_t> milliseconds) = 0;
    // GetExitCodeProcess: 259 (STILL_ACTIVE) while the child runs.
    virtual std::uint32_t exitCode() = 0;
    virtual void terminate(std::uint32_t exitCode) = 0;
};

struct StartResult {
    std::unique_ptr<ChildProcess> child; // null when the process could not be created
    std::uint32_t error = 0;
};

class Library {
public:
    virtual ~Library() = default;
    // GetProcAddress; null when the library has no such export.
    virtual void* symbol(const std::string& name) = 0;
};

struct LoadResult {
    std::unique_ptr<Library> library; // never unloads: the VM lives as long as the process
    std::uint32_t error = 0;
};

class Programs {
public:
    virtual ~Programs() = default;
    // CreateProcessA(no application name, commandLine) with a hidden window and inherited
    // handles. With errorOutputFile, that file is created (shared read/write, CREATE_ALWAYS)
    // and becomes the child's only redirected stream, standard error.
    virtual StartResult startHidden(const std::string& commandLine,
                                    const std::optional<std::string>& errorOutputFile) = 0;
    // CreateProcessA(program, arguments): the child's command line is exactly arguments.
    virtual StartResult startProgramHidden(const std::string& program,
                                           const std::string& arguments) = 0;
    // SearchPathA(no path, name): the standard search order of Windows.
    virtual std::optional<std::string> searchPath(const std::string& name) = 0;
    virtual LoadResult loadLibrary(const std::string& path) = 0; // LoadLibraryA
};

} // namespace kwn::platform
