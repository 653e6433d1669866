#pragma once
// Runtimes that earlier installations of the same application brought along: the installer
// records, per application id, the installation directories, each with its runtime in "jre".
#include "jvm/JavaExecutable.h"
#include "platform/Registry.h"

#include <optional>
#include <string>

namespace kwn::jvm {

// The first accepted runtime of the root's installations, the default registry view before
// the 32-bit one; the accepted executable, else nullopt.
std::optional<std::string> findPreviousInstallation(launcher::LaunchContext& ctx,
                                                    platform::RegistryRoot root,
                                                    const VersionBounds& bounds);

} // namespace kwn::jvm
