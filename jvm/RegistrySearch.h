#pragma once
// The registry as a source of runtimes: the JavaSoft keys that Java installers write and the
// located runtimes other software recorded. Both are consulted in full, then the higher
// version wins.
#include "jvm/LocatedJvms.h"

#include <optional>

namespace kwn::jvm {

// The JavaSoft keys of the machine, the classic pair ("Java Development Kit", "Java Runtime
// Environment") before the pair of Java 9 and later ("JDK", "JRE"); in each pair the current
// versions first, then every installed version from the greatest down (runtimes before JDKs
// unless a JDK is required).
std::optional<FoundRuntime> findJavaSoftJvm(launcher::LaunchContext& ctx,
                                            const VersionBounds& bounds);

// The JavaSoft runtime (unless only the application's own runtimes are wanted) against the
// located one; a tie goes to the located runtime.
std::optional<FoundRuntime> searchRegistry(launcher::LaunchContext& ctx,
                                           const VersionBounds& bounds);

} // namespace kwn::jvm
