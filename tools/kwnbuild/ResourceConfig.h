#pragma once
// The [resources] table of a build's TOML file. Kept apart from ApplicationResources.h so that
// only the configuration reader sees the TOML library.
#include "tools/kwnbuild/ApplicationResources.h"

#include <toml++/toml.h>

#include <string>
#include <string_view>

namespace kwn::build {

// Paths are kept as written. BuildError naming the file, line and key for anything unknown or of
// the wrong type or value.
ResourceSettings readResourceSettings(const toml::node& node, const std::string& sourceName);

// The [resources.version] key of a version string ("CompanyName" -> "company"); null for a
// string the table has no key for.
const char* versionSettingName(std::string_view stringName);

} // namespace kwn::build
