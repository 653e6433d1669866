#pragma once
// Standard error and the process console.
#include <cstdint>
#include <optional>
#include <string>

namespace kwn::platform {

class Console {
public:
    virtual ~Console() = default;
    // Writes to standard error as a C runtime text stream would, then flushes.
    virtual void writeError(const std::string& text) = 0;
    // Writes to standard output as a C runtime text stream would, then flushes.
    virtual void writeOutput(const std::string& text) = 0;

    struct AttachResult {
        bool available = false; // AttachConsole exists in kernel32
        bool ok = false;
        std::uint32_t error = 0;
    };
    virtual AttachResult attachParentConsole() = 0; // AttachConsole(ATTACH_PARENT_PROCESS)
    virtual bool allocConsole() = 0;
    virtual std::uint32_t outputCodePage() = 0; // GetConsoleOutputCP: 0 without a console
    // GetConsoleTitleA; nullopt when the process has no console.
    virtual std::optional<std::string> title() = 0;
    virtual bool setTitle(const std::string& title) = 0; // SetConsoleTitleA
};

} // namespace kwn::platform
