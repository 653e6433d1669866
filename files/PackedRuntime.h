#pragma once
// Unpacks the ".jar.pack" archives of a runtime shipped with the application, once, with the
// runtime's own unpack tool, before the runtime is probed.
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::files {

// Ends the launcher with internal error "20" when the unpack tool cannot be started.
void unpackRuntime(launcher::LaunchContext& ctx, const std::string& runtimeDirectory);

} // namespace kwn::files
