#pragma once
// Checks that a file can serve as a launcher stub and finds where its program image ends, which
// is where the launcher will look for its configuration block.
#include <cstdint>
#include <span>

namespace kwn::build {

// The file offset right behind the raw data of the last section-table entry. BuildError when
// the bytes are no PE image, or when the launcher's header walk would not land on the end of
// the file: bytes already follow the image (a built launcher, a signature), or the last
// table entry is not the section that ends last.
std::uint64_t validateStub(std::span<const unsigned char> image);

// Where the launcher's header walk puts its block in a built launcher: behind the raw data of the
// last section-table entry. BuildError when the bytes are no PE image.
std::uint64_t launcherImageEnd(std::span<const unsigned char> image);

} // namespace kwn::build
