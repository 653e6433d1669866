#include "jvm/LocatedJvms.h"

#include "jvm/RegistryText.h"
#include "jvm/VersionRules.h"
#include "launcher/LaunchContext.h"

#include <algorithm>

namespace kwn::jvm {

namespace {
constexpr const char* kLocatedJvmsKey = "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms";
// With only the application's own runtimes wanted, an entry must lie in a directory by this
// name; entries elsewhere are not even probed.
constexpr const char* kOwnRuntimeMarker = "kwn_jres";

// A key name cannot hold "\", so the recorded paths are written with "/".
std::string executableOfEntry(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::optional<FoundRuntime> checkEntry(launcher::LaunchContext& ctx, const std::string& name,
                                       const VersionBounds& bounds, bool everyEntry) {
    FoundRuntime runtime{executableOfEntry(name), {}};
    if (!everyEntry && runtime.executable.find(kOwnRuntimeMarker) == std::string::npos)
        return std::nullopt;
    if (!checkJavaExe(ctx, runtime.executable, runtime.version, bounds, true))
        return std::nullopt;
    return runtime;
}
} // namespace

std::optional<FoundRuntime> findLocatedJvm(launcher::LaunchContext& ctx,
                                           platform::RegistryRoot root, const VersionBounds& bounds,
                                           bool everyEntry) {
    std::uint32_t error = 0;
    std::unique_ptr<platform::RegistryKey> key =
        ctx.os.registry.open(root, kLocatedJvmsKey, platform::RegistryView::Default, error);
    if (!key)
        return std::nullopt;
    std::optional<FoundRuntime> best;
    for (const std::string& name : subkeyNames(*key)) {
        std::optional<FoundRuntime> runtime = checkEntry(ctx, name, bounds, everyEntry);
        // Strictly greater: of equal versions the first enumerated stays, and an empty
        // version never beats the empty start.
        if (runtime && compareVersions(runtime->version, best ? best->version : "") > 0)
            best = std::move(runtime);
    }
    return best;
}

std::optional<FoundRuntime> findLocatedJvms(launcher::LaunchContext& ctx,
                                            const VersionBounds& bounds, bool everyEntry) {
    std::optional<FoundRuntime> user =
        findLocatedJvm(ctx, platform::RegistryRoot::CurrentUser, bounds, everyEntry);
    std::optional<FoundRuntime> machine =
        findLocatedJvm(ctx, platform::RegistryRoot::LocalMachine, bounds, everyEntry);
    if (user && machine)
        return compareVersions(user->version, machine->version) > 0 ? user : machine;
    return user ? user : machine;
}

} // namespace kwn::jvm
