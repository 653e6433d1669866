#pragma once
// `kwnbuild show`: a built launcher read back into the configuration that rebuilds it.
#include "tools/kwnbuild/ApplicationResources.h"
#include "tools/kwnbuild/ConfigModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kwn::build {

struct CarriedFile {
    std::string name; // as the launcher extracts it
    std::uint64_t size = 0;
    std::uint64_t offset = 0; // of the content, behind its size field
};

struct DecodedLauncher {
    ConfigModel model; // narrow, wide and locale groups as the block holds them
    std::vector<CarriedFile> files;
};

// BuildError when the bytes hold no block or records that the launcher could read.
DecodedLauncher decodeLauncher(std::span<const unsigned char> launcher);

// The worded configuration: settings by name where the table knows the key and the value has a
// worded form that writes the same bytes, by number otherwise; messages only where they differ
// from the defaults. Included files get [[file]] entries whose sources are `extracted[i]`, or are
// listed in comments when nothing was extracted.
std::string configText(const DecodedLauncher& launcher,
                       const std::vector<std::filesystem::path>& extracted = {});

// Writes each included file's content under `directory` (its name's directories created) and
// returns the paths written, in record order.
std::vector<std::filesystem::path> extractFiles(std::span<const unsigned char> launcher,
                                                const DecodedLauncher& decoded,
                                                const std::filesystem::path& directory);

// The [resources] table that gives the launcher its resources again: each setting only where
// applying it to the launcher itself changes nothing, so that applied to the stub the launcher
// was built from it gives what the launcher carries. The icon and splash pictures are written as
// files under `directory` (beside the included files in `taken`) when one is given, and named in
// comments otherwise. Then every resource as a comment: type, name, language, bytes.
std::string resourcesText(std::span<const unsigned char> launcher,
                          const std::optional<std::filesystem::path>& directory,
                          const std::vector<std::filesystem::path>& taken = {});

} // namespace kwn::build
