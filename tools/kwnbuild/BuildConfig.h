#pragma once
// The build's input, a TOML file of numbered entries plus command-line settings, turned into the
// block's content. Every fault is a BuildError naming the file, line and key, or the setting.
#include "tools/kwnbuild/ConfigModel.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kwn::build {

ConfigModel loadConfigFile(const std::filesystem::path& path);

// `sourceName` is what messages call the text, usually its file name.
ConfigModel parseConfig(std::string_view text, const std::string& sourceName);

// "KEY=VALUE" (split at the first "="): sets the narrow entry KEY, replacing any earlier value.
void applySetting(ConfigModel& model, std::string_view assignment);

} // namespace kwn::build
