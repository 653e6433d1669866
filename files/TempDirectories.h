#pragma once
// The system temp directory with its fallback chain, temporary file names, and the launcher's
// own temp directory that included files are extracted into.
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::files {

// Recomputed on every call; ends the launcher with message 1015 when nothing is usable.
std::string getSystemTempDirectory(launcher::LaunchContext& ctx);
std::u16string getSystemTempDirectoryW(launcher::LaunchContext& ctx);

// Creates and removes a "qvo_w_testdir" in directory.
bool isWritableDirectory(launcher::LaunchContext& ctx, const std::string& directory);
bool isWritableDirectoryW(launcher::LaunchContext& ctx, const std::u16string& directory);

// A fresh name in the system temp directory; the platform creates the file.
std::string createTempFileName(launcher::LaunchContext& ctx);

// Sets ctx.tempDirectory; ten failed attempts end the launcher with internal error "7".
void createLauncherTempDirectory(launcher::LaunchContext& ctx);

} // namespace kwn::files
