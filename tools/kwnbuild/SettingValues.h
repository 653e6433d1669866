#pragma once
// Worded values to the launcher's text and back. Reading checks each value against its row of
// the settings table; writing offers the TOML forms a stored text may have come from, which the
// caller confirms by reading them back.
#include "tools/kwnbuild/SettingsTable.h"

#include <toml++/toml.h>

#include <string>
#include <string_view>
#include <vector>

namespace kwn::build {

// The launcher's text for a value; BuildError prefixed with `where` when the value does not fit
// the row (wrong type, out of range, a bad list entry, longer than the launcher reads).
std::string encodeSetting(const Setting& setting, const toml::node& value,
                          const std::string& where);

// BuildError when `bytes` exceeds what the launcher reads of `key`.
void checkValueLimit(Key key, std::size_t bytes, const std::string& where);

// TOML value texts that may encode to `stored`, the worded form first. Each must still be read
// back with encodeSetting: only one that gives `stored` again may be written.
std::vector<std::string> settingCandidates(const Setting& setting, std::string_view stored);

// A TOML basic string holding UTF-8 text.
std::string tomlString(std::string_view utf8);

} // namespace kwn::build
