#pragma once
// The launcher's own diagnostic log. Off unless switched on; decided once, at the first line.
// Every line is written by open, append, close, so what was logged survives a crash in the VM.
#include "diag/PrintfFormat.h"
#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <string>

namespace kwn::diag {

class NativeLog {
public:
    explicit NativeLog(platform::Platform& os);

    // Must be set before the first line: only the first line decides whether logging is on.
    void setForced(bool forced) { forced_ = forced; }
    bool isForced() const { return forced_; }

    template <class... Args> void logMessage(std::string_view format, const Args&... args) {
        writeLine("", format, {FormatArg(args)...});
    }
    template <class... Args> void logError(std::string_view format, const Args&... args) {
        writeLine("ERROR: ", format, {FormatArg(args)...});
    }

    // The log file's path once logging has been decided on; nullopt before and when off.
    std::optional<std::u16string> logFilePath() const;

private:
    void writeLine(std::string_view prefix, std::string_view format,
                   std::initializer_list<FormatArg> args);
    bool decide();
    std::unique_ptr<platform::TextFile> createLogFile();
    std::optional<std::u16string> logDirectory();
    std::unique_ptr<platform::TextFile> createNumberedFile(const std::u16string& directory);
    std::string headerLine();

    platform::Platform& os_;
    std::unique_ptr<platform::Lock> lock_;
    bool forced_ = false;
    bool decided_ = false;
    std::optional<std::u16string> path_;
};

// The C library's ctime() form, "Sun Dec  6 22:29:47 2026\n".
std::string ctimeText(const platform::LocalTime& time);

} // namespace kwn::diag
