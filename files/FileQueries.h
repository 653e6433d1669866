#pragma once
// The two questions the launcher asks the file system about configured paths.
#include "platform/Files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kwn::files {

// Drive roots ("C:\", "C:\.", "C:\.\.") exist without a disk access; otherwise an entry must
// be found. A final backslash finds nothing; wildcards match any entry.
bool fileExists(platform::Files& files, const std::string& path,
                std::uint64_t* lastWriteTime = nullptr);
bool fileExistsW(platform::Files& files, const std::u16string& path);

// Names (without directory) of the entries matching "*.extension", in the platform's order.
std::vector<std::string> listFiles(platform::Files& files, const std::string& directory,
                                   const std::string& extension);

} // namespace kwn::files
