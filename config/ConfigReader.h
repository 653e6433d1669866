#pragma once
// Finds the configuration block behind the launcher's program image and reads it into the
// tables, applying the locale override groups that match the user's locale.
#include "config/BlockFile.h"
#include "config/BlockFormat.h"
#include "config/ConfigBlock.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kwn::config {

// Shown when the launcher cannot open its own file.
inline constexpr char kOpenFailure[] =
    "Error opening media file. Please move this file to an ascii-only path like c:\\";

// The launcher's own file, or null (logged) when it cannot be opened.
std::unique_ptr<platform::ReadableFile>
openLauncherFile(platform::Files& files, const std::u16string& modulePath, diag::NativeLog& log);

// Walks the PE headers and leaves the file at the block's first byte; false when a header read
// failed (the file's failure() tells which).
bool seekToConfigBlock(BlockFile& file, diag::NativeLog& log);

// Reads the whole block into `block`. `detectLocale` runs between the wide entries and the
// locale groups, also when there are no groups, and returns the locale name the groups are
// matched against. Returns the failure text when the block cannot be read.
std::optional<std::string> readConfigBlock(platform::Files& files, const std::u16string& modulePath,
                                           diag::NativeLog& log, ConfigBlock& block,
                                           const std::function<std::string()>& detectLocale);

} // namespace kwn::config
