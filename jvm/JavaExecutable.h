#pragma once
// Is this candidate runtime usable? Derives the executable from a home directory, obtains its
// version (from the probe cache or by running it with -version) and judges it.
#include <cstdint>
#include <optional>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::jvm {

struct VersionBounds {
    std::string minimum; // key 126; empty imposes nothing
    std::string maximum; // key 127
};

// An executable derived from a home directory, with the bounds it has to be checked against.
struct HomeCandidate {
    std::string executable;
    VersionBounds bounds;
};

// "<home>\jre\bin\java.exe", else "<home>\bin\java.exe". With a JDK required: the first when
// "<home>\lib\tools.jar" exists; else, for a JDK of Java 9 or later (which has no tools.jar and
// no "jre"), "<home>\bin\java.exe" when "<home>\bin\javac.exe" exists, its minimum raised to 9.
// nullopt when the derivation fails.
std::optional<HomeCandidate> candidateFromHome(launcher::LaunchContext& ctx,
                                               const std::string& home,
                                               const VersionBounds& bounds);
// The executable of candidateFromHome alone.
std::optional<std::string> javaExeFromHome(launcher::LaunchContext& ctx, const std::string& home);
// The same, with the derived path given even when the derivation fails (a JDK required and no
// "tools.jar": "<home>\jre\bin\java.exe"), for the fallback pass that only asks whether that
// file exists.
bool javaExeFromHome(launcher::LaunchContext& ctx, const std::string& home, std::string& path);

// Normalises path in place, finds its version and accepts or rejects it. On acceptance a
// windowed launcher gets "javaw.exe" back instead of "java.exe".
bool checkJavaExe(launcher::LaunchContext& ctx, std::string& path, std::string& version,
                  const VersionBounds& bounds, bool allowPreRelease);

// Runs "<short path> -version" hidden, with only standard error captured, for at most 60 s.
std::optional<std::string> runJavaVersion(launcher::LaunchContext& ctx, const std::string& path,
                                          std::uint64_t lastWriteTime);

// The version text of a banner's first line, or nullopt when it is not a version banner.
std::optional<std::string> versionFromBanner(const std::string& firstLine);

} // namespace kwn::jvm
