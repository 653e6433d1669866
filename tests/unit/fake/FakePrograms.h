#pragma once
// Scripted child processes and libraries: a test says what a command line prints on standard
// error and how it exits, and which library files load with which exports.
#include "platform/Programs.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kwn::test {

class FakeFiles;

struct ScriptedChild {
    std::string errorOutput; // written to the error output file, when there is one
    std::uint32_t exitCode = 0;
    bool hangs = false;           // still running after any bounded wait
    std::function<void()> effect; // runs when the child starts (e.g. creates a file)
};

struct ScriptedLibrary {
    std::set<std::string> exports;
    std::uint32_t error = 0; // non-zero: LoadLibrary fails with it
    // Exports that are really called, by the address of a test function.
    std::map<std::string, void*> functions = {};
};

class FakePrograms : public platform::Programs {
public:
    explicit FakePrograms(FakeFiles& files) : files_(files) {}

    platform::StartResult startHidden(const std::string& commandLine,
                                      const std::optional<std::string>& errorOutputFile) override;
    platform::StartResult startProgramHidden(const std::string& program,
                                             const std::string& arguments) override;
    std::optional<std::string> searchPath(const std::string& name) override {
        auto it = searchResults.find(name);
        return it == searchResults.end() ? std::nullopt : std::optional(it->second);
    }
    platform::LoadResult loadLibrary(const std::string& path) override;

    // Keyed by the exact command line (startHidden) or program path (startProgramHidden).
    std::map<std::string, ScriptedChild> children;
    std::map<std::string, ScriptedLibrary> libraries; // keyed by path
    std::map<std::string, std::string> searchResults;

    struct Start {
        std::string program; // empty for startHidden
        std::string commandLine;
    };
    std::vector<Start> starts;
    std::vector<std::string> loads;
    std::vector<std::uint32_t> waits; // 0xFFFFFFFF for an unbounded wait
    std::vector<std::uint32_t> terminations;

private:
    platform::StartResult run(const std::string& key, Start start,
                              const std::optional<std::string>& errorOutputFile);
    FakeFiles& files_;
};

} // namespace kwn::test
