#pragma once
// Constants of the configuration block that the launcher and the build tool must share.
#include <cstdint>

namespace kwn::config {

constexpr std::uint32_t kBlockMagic = 0xE8E413D5u;

} // namespace kwn::config
