#pragma once
// The checks every source of the runtime search ends in: a directory, an environment variable
// or the Windows search path is turned into a Java executable and, where asked, judged.
#include "jvm/JavaExecutable.h"

#include <optional>
#include <string>

namespace kwn::jvm {

// Normalised, packed archives unpacked, executable derived and checked with pre-releases
// allowed; the accepted (normalised, possibly windowed) executable, else nullopt.
std::optional<std::string> checkDirectory(launcher::LaunchContext& ctx, const std::string& text,
                                          const VersionBounds& bounds);

// The same preparation without a version test: the derived executable, which need not exist.
std::string deriveFromDirectory(launcher::LaunchContext& ctx, const std::string& text);

// A variable naming a runtime or JDK home; "/" in its value is read as "\".
std::optional<std::string> checkVariable(launcher::LaunchContext& ctx, const std::string& name,
                                         const VersionBounds& bounds);

// "java.exe" where Windows would find it without a path.
std::optional<std::string> checkSearchPath(launcher::LaunchContext& ctx,
                                           const VersionBounds& bounds);

// A home directory from the registry or an earlier installation, without pre-releases.
std::optional<std::string> checkHome(launcher::LaunchContext& ctx, const std::string& home,
                                     const VersionBounds& bounds);

} // namespace kwn::jvm
