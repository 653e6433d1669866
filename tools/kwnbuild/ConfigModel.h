#pragma once
// What a launcher carries behind its image: the configuration block, already in the encodings
// the launcher reads, and the files it extracts.
#include "config/ConfigKeys.h"

#include <toml++/toml.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kwn::build {

using config::Key;

struct LocaleGroup {
    std::string name; // narrow, compared as a prefix of the user's locale name
    std::map<Key, std::u16string> entries;
};

// A file carried behind the block and extracted by the launcher into its temp directory.
struct IncludedFile {
    std::string name; // Windows-1252, backslash-separated, relative to the temp directory
    std::filesystem::path source;
    std::string origin; // where the entry was given, for messages about it
};

struct ConfigModel {
    std::map<Key, std::string> narrow; // Windows-1252 bytes, the only values the getters read
    std::map<Key, std::u16string> wide;
    // The launcher applies matching groups in this order, so a later group wins.
    std::vector<LocaleGroup> localeGroups;
    // In record order. Keys 2002 and 2003 are derived from this list and never set otherwise.
    std::vector<IncludedFile> includedFiles;
    // The [resources] table as written, not judged here: the resource writer reads it, with
    // paths relative to `configDirectory` and messages naming `configSource`.
    std::shared_ptr<const toml::table> resources;
    std::string configSource;
    std::filesystem::path configDirectory;
};

} // namespace kwn::build
