#pragma once
// The VM options that come from outside the launcher's own properties: the configured options,
// "-J" arguments, and VM options files beside the launcher and included from them. All of them
// pass one handler, which knows the class path directives and the include directive; anything
// else becomes one VM option.
#include "platform/Files.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// What the class path directives asked for. A later directive of a kind replaces the earlier
// one, so that a user's file can override what the configuration said.
struct ClassPathOverrides {
    std::optional<std::string> classPath;
    std::optional<std::string> appendClassPath;
    std::optional<std::string> prependClassPath;
};

using VmOptionList = std::vector<std::string>;

// An opened options file together with the path it was opened by, so that an include of the
// same file further down can be recognised.
struct OpenedOptionsFile {
    std::unique_ptr<platform::TextReader> stream; // null when no file could be opened
    std::u16string path;
};

// includingFile is the options file the item was read from; relative includes resolve against
// its directory, or against the launcher directory without one.
void handleVmOption(launcher::LaunchContext& ctx, const std::u16string& item,
                    const std::optional<std::u16string>& includingFile, VmOptionList& options,
                    ClassPathOverrides& overrides);

// Handles every line of the file and closes it; a missing file adds nothing.
void readVmOptionsFile(launcher::LaunchContext& ctx, OpenedOptionsFile file,
                       const std::optional<std::u16string>& includingFile, VmOptionList& options,
                       ClassPathOverrides& overrides);

// The options file beside the launcher: "run.vmoptions", then "run.exe.vmoptions", first for
// the long module path, then for the one Windows reports for the module.
OpenedOptionsFile openDefaultVmOptionsFile(launcher::LaunchContext& ctx);

// The configured options (key 123), expanded and split like a command line.
void addConfiguredVmOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                            ClassPathOverrides& overrides);

// Every argument that starts with "-J", without it, when the configuration allows them.
void addCommandLineVmOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                             ClassPathOverrides& overrides);

} // namespace kwn::windows
