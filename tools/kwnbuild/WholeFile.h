#pragma once
// Whole-file reads, and the all-or-nothing write of a build's output.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace kwn::build {

// No input of a build is near this size; a larger file is a mistake (a device, a wrong path),
// refused before it is read into memory.
constexpr std::uintmax_t kMaxWholeFile = 64 * 1024 * 1024;

// `what` names the file in the message of the BuildError thrown when it cannot be read. Anything
// but a regular file (a directory, a FIFO that would block, a device that never ends) and a file
// above `maxSize` bytes is refused before it is opened.
std::vector<unsigned char> readWholeFile(const std::filesystem::path& path, const char* what,
                                         std::uintmax_t maxSize = kMaxWholeFile);

// Writes a temporary file beside `target` and renames it over `target`, so that a reader never
// sees a partial file and a failed build leaves an earlier output as it was. The temporary file
// is removed when anything fails.
void replaceWholeFile(const std::filesystem::path& target, std::span<const unsigned char> bytes);

} // namespace kwn::build
