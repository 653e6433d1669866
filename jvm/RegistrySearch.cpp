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

// A JDK key and a runtime key, searched by the same rules.
struct JavaSoftKeys {
    const char* jdk;
    const char* jre;
};
constexpr JavaSoftKeys kJavaSoftLayouts[] = {
    {"SOFTWARE\\JavaSoft\\Java Development Kit", "SOFTWARE\\JavaSoft\\Java Runtime Environment"},
    // Where installers of Java 9 and later register, with version names such as "11.0.2" or
    // "17". The classic keys keep their precedence.
    {"SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE"},
};
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
    std::optional<HomeCandidate> candidate = candidateFromHome(ctx, *home, bounds);
    FoundRuntime runtime;
    if (!candidate || !checkJavaExe(ctx, candidate->executable, runtime.version, candidate->bounds,
                                    /*allowPreRelease=*/false))
        return std::nullopt;
    runtime.executable = candidate->executable;
    return runtime;
}

// A tie goes to the runtime key; an empty current version names no runtime, so a required
// JDK without one never leads to the runtime key.
std::optional<FoundRuntime> checkCurrentVersions(launcher::LaunchContext& ctx,
                                                 const JavaSoftKeys& keys,
                                                 const VersionBounds& bounds, bool jdkRequired) {
    std::string jdk = currentVersion(ctx, keys.jdk, bounds);
    std::string jre = jdkRequired ? std::string() : currentVersion(ctx, keys.jre, bounds);
    bool useJdk = compareVersions(jdk, jre) > 0;
    const std::string& version = useJdk ? jdk : jre;
    if (version.empty())
        return std::nullopt;
    return checkVersionKey(ctx, std::string(useJdk ? keys.jdk : keys.jre) + "\\" + version, bounds);
}

// A name sorts before its own extensions (1.7 before 1.7.0_21) and 9 before 11, so walking down
// from the greatest tries the newest installation first.
std::optional<FoundRuntime> checkInstalledVersions(launcher::LaunchContext& ctx,
                                                   const std::string& path,
                                                   const VersionBounds& bounds) {
    std::unique_ptr<platform::RegistryKey> key = openMachineKey(ctx, path);
    if (!key)
        return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& name : subkeyNames(*key))
        if (versionInRange(name, bounds.minimum, bounds.maximum))
            names.push_back(name);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return compareVersions(a, b) < 0; });
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        if (std::optional<FoundRuntime> runtime = checkVersionKey(ctx, path + "\\" + *name, bounds))
            return runtime;
    return std::nullopt;
}

std::optional<FoundRuntime> findInJavaSoftKeys(launcher::LaunchContext& ctx,
                                               const JavaSoftKeys& keys,
                                               const VersionBounds& bounds, bool jdkRequired) {
    if (std::optional<FoundRuntime> runtime = checkCurrentVersions(ctx, keys, bounds, jdkRequired))
        return runtime;
    if (!jdkRequired)
        if (std::optional<FoundRuntime> runtime = checkInstalledVersions(ctx, keys.jre, bounds))
            return runtime;
    return checkInstalledVersions(ctx, keys.jdk, bounds);
}
} // namespace

std::optional<FoundRuntime> findJavaSoftJvm(launcher::LaunchContext& ctx,
                                            const VersionBounds& bounds) {
    bool jdkRequired = ctx.config.getInt(config::key::kJdkRequired) != 0;
    for (const JavaSoftKeys& keys : kJavaSoftLayouts)
        if (std::optional<FoundRuntime> runtime =
                findInJavaSoftKeys(ctx, keys, bounds, jdkRequired))
            return runtime;
    return std::nullopt;
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
        return compareVersions(javaSoft->version, located->version) <= 0 ? located : javaSoft;
    return located ? located : javaSoft;
}

} // namespace kwn::jvm
