#include "launcher/NativeLibraryPath.h"

#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

namespace kwn::launcher {

// Runs also without configured directories: PATH is then written back with its own value.
void setNativeLibraryPath(LaunchContext& ctx) {
    std::string directories = ctx.config.getString(config::key::kNativeLibraryDirectories);
    ctx.log.logMessage("native lib dir is %s", directories);
    windows::expandVariablesNarrow(ctx, directories);
    std::string path = ctx.paths.makeAbsoluteList(directories);
    if (!path.empty() && path.back() != ';')
        path += ';';
    path += ctx.os.environment.get("PATH").value_or("");
    if (std::uint32_t error = ctx.os.environment.set("PATH", path))
        ctx.log.logMessage("Setting PATH (native libs) %s failed with error %d", path, error);
    else
        ctx.log.logMessage("Setting PATH (native libs) %s", path);
    // The C runtime keeps its own copy of the environment, which the VM may read.
    ctx.os.environment.putRuntimeVariable("PATH=" + path);
}

} // namespace kwn::launcher
