#pragma once
// The argument list the Java entry class's main receives. The application's own main class is
// not called directly: the entry class learns it, and how the launcher was set up, from the
// leading arguments, and gets the user's arguments behind them.
#include <string>
#include <vector>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// Launcher type flag, main class, error and output log paths, entry flag, program path, the
// configured fixed arguments, then the user's arguments without those meant for the VM.
std::vector<std::u16string> buildMainArguments(launcher::LaunchContext& ctx);

// A configured log path as main receives it: expanded, and anchored at the launcher directory
// unless it starts with "$", which the Java side resolves itself.
std::u16string resolveLogPath(launcher::LaunchContext& ctx, const std::u16string& configured);

} // namespace kwn::windows
