#pragma once
// Runtimes that other software recorded under "locatedjvms" in the registry: read, never written.
#include "jvm/JavaExecutable.h"
#include "platform/Registry.h"

#include <optional>
#include <string>

namespace kwn::jvm {

struct FoundRuntime {
    std::string executable;
    std::string version;
};

// The highest acceptable version of one root; the first of equal versions stays.
std::optional<FoundRuntime> findLocatedJvm(launcher::LaunchContext& ctx,
                                           platform::RegistryRoot root, const VersionBounds& bounds,
                                           bool everyEntry);

// Both roots; the user's runtime only when its version is greater than the machine's.
std::optional<FoundRuntime> findLocatedJvms(launcher::LaunchContext& ctx,
                                            const VersionBounds& bounds, bool everyEntry);

} // namespace kwn::jvm
