#pragma once
// Whole-file reads, and the all-or-nothing write of a build's output.
#include <filesystem>
#include <span>
#include <vector>

namespace kwn::build {

// `what` names the file in the message of the BuildError thrown when it cannot be read.
std::vector<unsigned char> readWholeFile(const std::filesystem::path& path, const char* what);

// Writes a temporary file beside `target` and renames it over `target`, so that a reader never
// sees a partial file and a failed build leaves an earlier output as it was. The temporary file
// is removed when anything fails.
void replaceWholeFile(const std::filesystem::path& target, std::span<const unsigned char> bytes);

} // namespace kwn::build
