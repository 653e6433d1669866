#pragma once
// The configuration block as bytes, laid out the way the launcher reads it behind its image.
#include "config/BlockFormat.h"
#include "tools/kwnbuild/ConfigModel.h"

#include <cstdint>
#include <vector>

namespace kwn::build {

using config::kBlockMagic;
// The magic's bytes reversed: E8 E4 13 D5 in the file.
constexpr std::uint32_t kBlockTrailer = 0xD513E4E8u;
constexpr std::int32_t kHeaderWordFirst = 0;
constexpr std::int32_t kHeaderWordSecond = 1;
// The length word sits here and counts the bytes from its own first byte to the end of the
// locale groups.
constexpr std::size_t kLengthWordOffset = 12;
// Keeps a certificate table, should one be added after the build, on its usual boundary.
constexpr std::uint64_t kTrailerAlignment = 512;

// From the magic to the end of the last locale group: what the launcher reads. Anything the
// launcher reads from its block-end position (included files) goes right behind these bytes.
std::vector<unsigned char> encodeConfigBlock(const ConfigModel& model);

// The end marker and the zero bytes that bring a file whose content ends at `fileOffset` to the
// next multiple of kTrailerAlignment.
std::vector<unsigned char> encodeTrailer(std::uint64_t fileOffset);

} // namespace kwn::build
