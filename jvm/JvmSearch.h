#pragma once
// Picks the Java runtime: location files, the configured search sequence, a fallback pass over
// its directories, earlier installations and the override variables, in that order. The first
// accepted candidate whose VM library loads ends the search.
#include "platform/Programs.h"

#include <memory>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::jvm {

enum class LocationType { None = 0, SearchPath = 1, Directory = 2, Variable = 3, Registry = 4 };

struct SearchResult {
    std::unique_ptr<platform::Library> library; // null when nothing loaded
    std::string executable;                     // of the last accepted candidate
    LocationType type = LocationType::None;
    std::string locationName; // directory text, variable name or search-path entry
};

SearchResult searchJvm(launcher::LaunchContext& ctx);

} // namespace kwn::jvm
