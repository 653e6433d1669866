#include "jvm/CandidateChecks.h"

#include "config/ConfigKeys.h"
#include "files/PackedRuntime.h"
#include "launcher/LaunchContext.h"

#include <algorithm>

namespace kwn::jvm {

namespace {
// Values that would not fit the launcher's text buffer are treated as not there.
bool fitsTextBuffer(const std::string& text) {
    return text.size() < config::kTextCapacity;
}

// Normalised as the probe cache keys executables, and packed archives unpacked before anything
// is tested, so that a runtime shipped packed probes like any other.
std::string prepareDirectory(launcher::LaunchContext& ctx, const std::string& text) {
    std::string home = ctx.paths.getFullPath(text, false);
    files::unpackRuntime(ctx, home);
    return home;
}

std::optional<std::string> accepted(launcher::LaunchContext& ctx, std::string executable,
                                    const VersionBounds& bounds, bool allowPreRelease) {
    std::string version;
    if (!checkJavaExe(ctx, executable, version, bounds, allowPreRelease))
        return std::nullopt;
    return executable;
}
} // namespace

std::optional<std::string> checkDirectory(launcher::LaunchContext& ctx, const std::string& text,
                                          const VersionBounds& bounds) {
    std::optional<HomeCandidate> candidate =
        candidateFromHome(ctx, prepareDirectory(ctx, text), bounds);
    if (!candidate)
        return std::nullopt;
    return accepted(ctx, candidate->executable, candidate->bounds, /*allowPreRelease=*/true);
}

std::string deriveFromDirectory(launcher::LaunchContext& ctx, const std::string& text) {
    // Without a version test a JDK home lacking "lib\tools.jar" still yields its runtime's
    // executable, and only that file's existence decides.
    std::string executable;
    javaExeFromHome(ctx, prepareDirectory(ctx, text), executable);
    return executable;
}

std::optional<std::string> checkVariable(launcher::LaunchContext& ctx, const std::string& name,
                                         const VersionBounds& bounds) {
    std::optional<std::string> value = ctx.os.environment.get(name);
    if (!value || value->empty() || !fitsTextBuffer(*value))
        return std::nullopt;
    std::replace(value->begin(), value->end(), '/', '\\');
    return checkHome(ctx, *value, bounds);
}

std::optional<std::string> checkSearchPath(launcher::LaunchContext& ctx,
                                           const VersionBounds& bounds) {
    std::optional<std::string> found = ctx.os.programs.searchPath("java.exe");
    if (!found || !fitsTextBuffer(*found))
        return std::nullopt;
    return accepted(ctx, *found, bounds, /*allowPreRelease=*/false);
}

std::optional<std::string> checkHome(launcher::LaunchContext& ctx, const std::string& home,
                                     const VersionBounds& bounds) {
    std::optional<HomeCandidate> candidate = candidateFromHome(ctx, home, bounds);
    if (!candidate)
        return std::nullopt;
    return accepted(ctx, candidate->executable, candidate->bounds, /*allowPreRelease=*/false);
}

} // namespace kwn::jvm
