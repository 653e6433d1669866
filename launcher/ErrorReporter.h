#pragma once
// How the launcher tells the user that something failed: a configured message (with its one
// "{0}" argument; the user's locale group's text before the configured one) or a fixed text, in
// a message box or on standard error, with the log file named when logging is on; and the single
// way out of the process.
#include "config/ConfigKeys.h"

#include <optional>
#include <string>

namespace kwn::launcher {

struct LaunchContext;

class ErrorReporter {
public:
    explicit ErrorReporter(LaunchContext& context) : ctx_(context) {}

    void displayText(const std::string& text);
    void displayTextW(const std::u16string& text);
    void displayMessage(config::Key key, const std::optional<std::string>& argument);
    void displayMessageW(config::Key key, const std::optional<std::u16string>& argument);

    [[noreturn]] void fatalText(const std::string& text);
    [[noreturn]] void fatalMessage(config::Key key, const std::optional<std::string>& argument);
    [[noreturn]] void fatalMessageW(config::Key key, const std::optional<std::u16string>& argument);

    // Removes the launcher temp directory and ends the process with code.
    [[noreturn]] void exitLauncher(int code);
    // Deletes a directory's files and, when recurse, empties and removes its subdirectories
    // one level down. "." and ".." style paths are never touched.
    void emptyDirectory(const std::string& path, bool recurse);
    void setErrorOwnerWindow(void* window);

private:
    // A message of the user's locale group.
    void displayLocalized(const std::u16string& text);
    LaunchContext& ctx_;
};

// Replaces the first "{0}" with the argument; without an argument the text stays as it is.
template <class String>
String substituteArgument(String text, const std::optional<String>& argument) {
    if (!argument)
        return text;
    const typename String::value_type placeholder[] = {'{', '0', '}', 0};
    size_t at = text.find(placeholder);
    if (at != String::npos)
        text.replace(at, 3, *argument);
    return text;
}

} // namespace kwn::launcher
