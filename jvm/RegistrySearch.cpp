#include "jvm/RegistrySearch.h"

#include "config/ConfigKeys.h"
#include "jvm/RegistryText.h"
#include "jvm/VersionRules.h"
#include "launcher/LaunchContext.h"

#include <algorithm>
#include <vector>

namespace kwn::jvm {

namespace {
using platform::RegistryRoot;
using platform::RegistryView;

constexpr const char* kJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr const char* kJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
// The buffer Java installers' "CurrentVersion" is read into; a longer value is not a version.
constexpr std::uint32_t kCurrentVersionBytes = 100;

std::unique_ptr<platform::RegistryKey> openMachineKey(launcher::LaunchContext& ctx,
                                                      const std::string& path) {
    std::uint32_t error = 0;
    return ctx.os.registry.open(RegistryRoot::LocalMachine, path, RegistryView::Default, error);
}

// Empty when missing or outside the bounds, so that it loses every comparison.
std::string currentVersion(launcher::LaunchContext& ctx, const std::string& path,
                           const VersionBounds& bounds) {
    std::unique_ptr<platform::RegistryKey> key = openMachineKey(ctx, path);
    if (!key)
        return {};
    std::string version =
        readRegistryText(*key, "CurrentVersion", kCurrentVersionBytes).value_or("");
    return versionInRange(version, bounds.minimum, bounds.maximum) ? version : std::string();
}

std::optional<FoundRuntime> checkVersionKey(launcher::LaunchContext& ctx, const std::string& path,
                                            const VersionBounds& bounds) {
    std::unique_ptr<platform::RegistryKey> key = openMachineKey(ctx, path);
    if (!key)
        return std::nullopt;
    std::optional<std::string> home =
        readRegistryText(*key, "JavaHome", static_cast<std::uint32_t>(config::kTextCapacity));
    if (!home)
        return std::nullopt;
    std::optional<std::string> executable = javaExeFromHome(ctx, *home);
    FoundRuntime runtime;
    if (!executable ||
        !checkJavaExe(ctx, *executable, runtime.version, bounds, /*allowPreRelease=*/false))
        return std::nullopt;
    runtime.executable = *executable;
    return runtime;
}

// A tie goes to the runtime key; an empty current version names no runtime, so a required
// JDK without one never leads to the runtime key.
std::optional<FoundRuntime> checkCurrentVersions(launcher::LaunchContext& ctx,
                                                 const VersionBounds& bounds, bool jdkRequired) {
    std::string jdk = currentVersion(ctx, kJdkKey, bounds);
    std::string jre = jdkRequired ? std::string() : currentVersion(ctx, kJreKey, bounds);
    bool useJdk = jdk > jre;
    const std::string& version = useJdk ? jdk : jre;
    if (version.empty())
        return std::nullopt;
    return checkVersionKey(ctx, std::string(useJdk ? kJdkKey : kJreKey) + "\\" + version, bounds);
}

// Version names sort as text, and a name sorts before its own extensions, so walking down from
// the greatest tries the newest installation first.
std::optional<FoundRuntime> checkInstalledVersions(launcher::LaunchContext& ctx,
                                                   const std::string& path,
                                                   const VersionBounds& bounds) {
    std::unique_ptr<platform::RegistryKey> key = openMachineKey(ctx, path);
    if (!key)
        return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& name : key->subkeyNames())
        if (versionInRange(name, bounds.minimum, bounds.maximum))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        if (std::optional<FoundRuntime> runtime = checkVersionKey(ctx, path + "\\" + *name, bounds))
            return runtime;
    return std::nullopt;
}
} // namespace

std::optional<FoundRuntime> findJavaSoftJvm(launcher::LaunchContext& ctx,
                                            const VersionBounds& bounds) {
    bool jdkRequired = ctx.config.getInt(config::key::kJdkRequired) != 0;
    if (std::optional<FoundRuntime> runtime = checkCurrentVersions(ctx, bounds, jdkRequired))
        return runtime;
    if (!jdkRequired)
        if (std::optional<FoundRuntime> runtime = checkInstalledVersions(ctx, kJreKey, bounds))
            return runtime;
    return checkInstalledVersions(ctx, kJdkKey, bounds);
}

std::optional<FoundRuntime> searchRegistry(launcher::LaunchContext& ctx,
                                           const VersionBounds& bounds) {
    bool everyRuntime = ctx.config.getInt(config::key::kOwnRuntimesOnly) == 0;
    std::optional<FoundRuntime> javaSoft;
    if (everyRuntime)
        javaSoft = findJavaSoftJvm(ctx, bounds);
    if (javaSoft)
        ctx.log.logMessage("found sun %s %s", javaSoft->executable, javaSoft->version);
    std::optional<FoundRuntime> located = findLocatedJvms(ctx, bounds, everyRuntime);
    if (located)
        ctx.log.logMessage("found located %s %s", located->executable, located->version);
    if (javaSoft && located)
        return javaSoft->version <= located->version ? located : javaSoft;
    return located ? located : javaSoft;
}

} // namespace kwn::jvm
