#include "jvm/JavaExecutable.h"

#include "config/ConfigKeys.h"
#include "files/FileQueries.h"
#include "files/TempDirectories.h"
#include "jvm/ProbeCache.h"
#include "jvm/VersionRules.h"
#include "launcher/LaunchContext.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace kwn::jvm {

namespace {
using launcher::LaunchContext;

constexpr std::uint32_t kProbeTimeoutMs = 60000;
constexpr std::uint32_t kStillActive = 259; // also what a child that outlived the wait reports
constexpr std::uint32_t kTerminatedExitCode = 1;
constexpr std::size_t kBannerLineChars = 99;
constexpr std::int32_t kWindowedLauncher = 1;
constexpr const char* kFirstJdkWithoutTools = "9";

// A runtime announces each options variable it honours on standard error before its banner.
// There are three such variables, so the banner is at most the fourth line.
constexpr std::array<std::string_view, 3> kOptionsNotices = {
    "Picked up JAVA_TOOL_OPTIONS:", "Picked up _JAVA_OPTIONS:", "Picked up JDK_JAVA_OPTIONS:"};
constexpr std::size_t kLinesBeforeBannerAtMost = kOptionsNotices.size();

constexpr std::array<std::string_view, 2> kBannerPrefixes = {"java version \"",
                                                             "openjdk version \""};

bool isOptionsNotice(const std::string& line) {
    return std::any_of(kOptionsNotices.begin(), kOptionsNotices.end(),
                       [&](std::string_view notice) { return line.starts_with(notice); });
}

// The banner line, at most 99 characters of it: a runaway line cannot bloat the version text.
std::optional<std::string> bannerLine(LaunchContext& ctx, const std::string& outputFile) {
    std::vector<std::string> lines = ctx.os.files.readFirstLines(ctx.os.codePage.toWide(outputFile),
                                                                 kLinesBeforeBannerAtMost + 1);
    auto banner = std::find_if_not(lines.begin(), lines.end(), isOptionsNotice);
    if (banner == lines.end())
        return std::nullopt;
    return banner->substr(0, kBannerLineChars);
}

// Short paths need no quotes. Where 8.3 names are switched off, the full path is quoted so that
// a directory such as "Program Files" is not split into program and argument.
std::string probeCommandLine(LaunchContext& ctx, const std::string& path) {
    if (std::optional<std::string> shortPath = ctx.os.files.shortPathNameA(path))
        return *shortPath + " -version";
    return "\"" + path + "\" -version";
}

// Waits for the probe and settles what its exit code means for the cache. A hung runtime is
// ended and left uncached, so that it is given another chance at the next start.
std::uint32_t finishProbe(LaunchContext& ctx, platform::ChildProcess& child,
                          const std::string& path, std::uint64_t lastWriteTime) {
    child.wait(kProbeTimeoutMs);
    std::uint32_t exitCode = child.exitCode();
    ctx.log.logMessage("Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        ctx.log.logMessage("Terminating process");
        child.terminate(kTerminatedExitCode);
    } else if (exitCode != 0) {
        ProbeCache(ctx.os.registry).write(path, lastWriteTime, kFailedProbeVersion);
    }
    return exitCode;
}

// The bounds and the pre-release rule, with the refusal of a pre-release said in the log.
bool judgeVersion(LaunchContext& ctx, const std::string& version, const VersionBounds& bounds,
                  bool allowPreRelease) {
    bool everywhere = ctx.config.getInt(config::key::kAllowPreRelease) != 0;
    if (preReleaseRefused(version, allowPreRelease, everywhere))
        ctx.log.logMessage("beta vm not allowed");
    return acceptVersion(version, bounds.minimum, bounds.maximum, allowPreRelease, everywhere);
}

// The version from the cache when it holds a real one for this very file, else from a probe,
// which is then cached whether or not the version passes: the next start judges it again.
bool versionAccepted(LaunchContext& ctx, const std::string& path, std::uint64_t lastWriteTime,
                     std::string& version, const VersionBounds& bounds, bool allowPreRelease) {
    ProbeCache cache(ctx.os.registry);
    std::optional<std::string> cached = cache.read(path, lastWriteTime);
    if (cached && *cached != kFailedProbeVersion) {
        version = *cached;
        ctx.log.logMessage("got version from registry %s", version);
        return judgeVersion(ctx, version, bounds, allowPreRelease);
    }
    std::optional<std::string> probed = runJavaVersion(ctx, path, lastWriteTime);
    if (!probed) {
        ctx.log.logMessage("couldn't get version");
        return false;
    }
    version = *probed;
    ctx.log.logMessage("got version from execution %s", version);
    cache.write(path, lastWriteTime, version);
    return judgeVersion(ctx, version, bounds, allowPreRelease);
}

// A windowed application must not open a console window for its VM, so it runs on "javaw.exe",
// which has to sit beside "java.exe".
bool switchToWindowed(LaunchContext& ctx, std::string& path) {
    path.resize(path.size() - std::min<std::size_t>(path.size(), 4));
    path += "w.exe";
    return files::fileExists(ctx.os.files, path);
}
} // namespace

bool javaExeFromHome(LaunchContext& ctx, const std::string& home, std::string& path) {
    path = home + "\\jre\\bin\\java.exe";
    // A JDK is recognised by its tools; its own runtime lives under "jre".
    if (ctx.config.getInt(config::key::kJdkRequired) != 0)
        return files::fileExists(ctx.os.files, home + "\\lib\\tools.jar");
    if (!files::fileExists(ctx.os.files, path))
        path = home + "\\bin\\java.exe"; // a plain runtime home; checkJavaExe looks for it
    return true;
}

std::optional<HomeCandidate> candidateFromHome(LaunchContext& ctx, const std::string& home,
                                               const VersionBounds& bounds) {
    std::string path;
    if (javaExeFromHome(ctx, home, path))
        return HomeCandidate{path, bounds};
    // A JDK of Java 9 or later has neither "tools.jar" nor a "jre" of its own; its compiler
    // marks it. Its probe must then show Java 9 or later: an older home with a compiler but
    // without tools is no complete JDK.
    if (ctx.config.getInt(config::key::kJdkRequired) == 0 ||
        !files::fileExists(ctx.os.files, home + "\\bin\\javac.exe"))
        return std::nullopt;
    bool raised = compareVersions(bounds.minimum, kFirstJdkWithoutTools) < 0;
    return HomeCandidate{
        home + "\\bin\\java.exe",
        {raised ? std::string(kFirstJdkWithoutTools) : bounds.minimum, bounds.maximum}};
}

std::optional<std::string> javaExeFromHome(LaunchContext& ctx, const std::string& home) {
    std::optional<HomeCandidate> candidate = candidateFromHome(ctx, home, {});
    if (!candidate)
        return std::nullopt;
    return candidate->executable;
}

bool checkJavaExe(LaunchContext& ctx, std::string& path, std::string& version,
                  const VersionBounds& bounds, bool allowPreRelease) {
    ctx.log.logMessage("checkJavaExe (%s, [out], %s, %s, %d)", path, bounds.minimum, bounds.maximum,
                       allowPreRelease ? 1 : 0);
    // One spelling per file, so that the probe cache has one entry per executable.
    path = ctx.paths.getFullPath(path, false);
    version.clear();
    std::uint64_t lastWriteTime = 0;
    bool accepted = false;
    if (!files::fileExists(ctx.os.files, path, &lastWriteTime)) {
        ctx.log.logMessage("file doesn't exist");
    } else {
        ctx.log.logMessage("file exists");
        accepted = versionAccepted(ctx, path, lastWriteTime, version, bounds, allowPreRelease);
    }
    if (accepted && ctx.config.getInt(config::key::kLauncherType) == kWindowedLauncher)
        accepted = switchToWindowed(ctx, path);
    ctx.log.logMessage("checkJavaExe returning %d", accepted ? 1 : 0);
    return accepted;
}

namespace {

// A console child's host process can hold the inherited output file for a few tens of
// milliseconds after the child has ended; a single attempt would leave one file per probe.
void deleteProbeOutput(LaunchContext& ctx, const std::string& outputFile) {
    constexpr std::uint32_t kSharingViolation = 32;
    constexpr int kAttempts = 100;
    constexpr std::uint32_t kPauseMilliseconds = 10;
    std::uint32_t error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (ctx.os.files.deleteFile(outputFile, error) || error != kSharingViolation)
            return;
        ctx.os.system.sleep(kPauseMilliseconds);
    }
    ctx.log.logMessage("could not delete %s (error %d)", outputFile, static_cast<int>(error));
}

} // namespace

std::optional<std::string> runJavaVersion(LaunchContext& ctx, const std::string& path,
                                          std::uint64_t lastWriteTime) {
    std::string commandLine = probeCommandLine(ctx, path);
    std::string outputFile = files::createTempFileName(ctx);
    platform::StartResult started = ctx.os.programs.startHidden(commandLine, outputFile);
    if (!started.child) {
        ctx.log.logMessage("Could not create process %s > %s (error %d)", commandLine, outputFile,
                           static_cast<int>(started.error));
        deleteProbeOutput(ctx, outputFile);
        return std::nullopt;
    }
    std::uint32_t exitCode = finishProbe(ctx, *started.child, path, lastWriteTime);
    started.child.reset(); // the child's handles go before its output is read
    std::optional<std::string> version;
    if (exitCode == 0) {
        std::optional<std::string> line = bannerLine(ctx, outputFile);
        version = line ? versionFromBanner(*line) : std::nullopt;
        if (version)
            ctx.log.logMessage("Java version: %s", *version);
    }
    deleteProbeOutput(ctx, outputFile);
    return version;
}

std::optional<std::string> versionFromBanner(const std::string& firstLine) {
    for (std::string_view prefix : kBannerPrefixes) {
        if (!firstLine.starts_with(prefix))
            continue;
        // The last two characters are taken for the closing quote and the line end; when more
        // follows the quote (a release date), the text keeps it but for those two characters.
        std::string rest = firstLine.substr(prefix.size());
        if (rest.size() < 2)
            return std::nullopt;
        return rest.substr(0, rest.size() - 2);
    }
    return std::nullopt;
}

} // namespace kwn::jvm
