#pragma once
// The records of the included files behind the block: each an 8-byte little-endian size and the
// content with every byte XORed with the content key. Content is streamed through one buffer of
// kRecordChunk bytes, so an included file of any size is never held in memory whole.
#include "tools/kwnbuild/ByteSink.h"
#include "tools/kwnbuild/ConfigModel.h"

#include <cstdint>
#include <ostream>
#include <vector>

namespace kwn::build {

constexpr unsigned char kContentKey = 0xA7;
constexpr std::size_t kRecordChunk = 1024 * 1024;
constexpr std::uint64_t kRecordSizeField = 8;

// The size of every source, after checking that each is a regular file that can be opened, so
// that a missing or unreadable one fails the build before anything is written.
std::vector<std::uint64_t> measureIncludedFiles(const std::vector<IncludedFile>& files);

// Writes one record of `size` bytes (as measured). A source that has changed size since is a
// BuildError. `progress`, when given, receives a progress line for a large source.
void writeIncludedRecord(ByteSink& out, const IncludedFile& file, std::uint64_t size,
                         std::ostream* progress);

} // namespace kwn::build
