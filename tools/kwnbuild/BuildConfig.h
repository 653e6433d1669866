#pragma once
// The build's input, a TOML file of worded settings (or numbered entries) plus command-line
// settings, turned into the block's content. Every fault is a BuildError naming the file, line and
// key, or the setting.
#include "tools/kwnbuild/ConfigModel.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kwn::build {

// Sources of [[file]] entries are resolved against the configuration file's directory.
ConfigModel loadConfigFile(const std::filesystem::path& path);

// `sourceName` is what messages call the text, usually its file name. Sources of [[file]] entries
// are kept as written. Any text is safe to hand in: what the TOML parser cannot take safely is
// refused before it sees it.
ConfigModel parseConfig(std::string_view text, const std::string& sourceName);

// "KEY=VALUE" (split at the first "="): sets the narrow entry KEY, replacing any earlier value.
// Keys 2002 and 2003 are refused, here and in [settings]: the included files set them.
void applySetting(ConfigModel& model, std::string_view assignment);

// The English text of every message key the configuration left out.
void addDefaultMessages(ConfigModel& model);

} // namespace kwn::build
