#pragma once
// Writes the files carried behind the configuration block into the launcher temp directory.
#include "config/BlockFile.h"
#include "platform/Files.h"

#include <cstdint>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::files {

enum ExtractionResult { kExtracted = 0, kReadFailed = 1, kWriteFailed = 2 };

// Each content byte is stored XORed with this key.
constexpr unsigned char kContentKey = 0xA7;

int extractIncludedFiles(launcher::LaunchContext& ctx, bool createTempDirectory);
int extractOneFile(launcher::LaunchContext& ctx, config::BlockFile& file,
                   const std::string& targetPath);
int copyFileData(launcher::LaunchContext& ctx, config::BlockFile& source,
                 platform::WritableFile& target, std::int64_t size, bool scrambled);

} // namespace kwn::files
