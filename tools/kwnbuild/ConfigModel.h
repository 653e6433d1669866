#pragma once
// What a launcher's configuration block holds, already in the encodings the launcher reads.
#include "config/ConfigKeys.h"

#include <map>
#include <string>
#include <vector>

namespace kwn::build {

using config::Key;

struct LocaleGroup {
    std::string name; // narrow, compared as a prefix of the user's locale name
    std::map<Key, std::u16string> entries;
};

struct ConfigModel {
    std::map<Key, std::string> narrow; // Windows-1252 bytes, the only values the getters read
    std::map<Key, std::u16string> wide;
    // The launcher applies matching groups in this order, so a later group wins.
    std::vector<LocaleGroup> localeGroups;
};

} // namespace kwn::build
