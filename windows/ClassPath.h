#pragma once
// The one "-Djava.class.path=" option: the directives of the options sources, the archives
// extracted into the launcher temp directory, the second flavour's runtime library and the
// configured class path entries.
#include "windows/VmOptions.h"

#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// The whole option text, "-Djava.class.path=" included.
std::string buildClassPath(launcher::LaunchContext& ctx, const ClassPathOverrides& overrides);

// Appends the entries of key 121, each followed by ";". Ends the launcher when a required entry
// is missing.
void addConfiguredClassPath(launcher::LaunchContext& ctx, std::string& classPath);

// Appends every "*.extension" entry of the directory, made absolute and followed by ";".
// Returns whether the directory exists, even when nothing in it matched.
bool addArchivesInDirectory(launcher::LaunchContext& ctx, std::string& classPath,
                            const std::string& directory, const std::string& extension);

} // namespace kwn::windows
