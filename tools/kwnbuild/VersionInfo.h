#pragma once
// The version resource (RT_VERSION 1): the numbers Explorer shows and sorts by, and the strings of
// the file's properties, in the one language and the Unicode code page the launcher carries.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kwn::build {

using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionInfo {
    VersionNumber fileVersion{}, productVersion{};
    // In the order they are stored: "CompanyName", "FileVersion", ... to their values.
    std::vector<std::pair<std::string, std::u16string>> strings;
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0 to 65535; missing parts are 0. BuildError,
// prefixed with `where`, for anything else.
VersionNumber parseVersionNumber(std::string_view text, const std::string& where);

std::string versionText(const VersionNumber& number);

std::vector<unsigned char> encodeVersionInfo(const VersionInfo& info, std::uint16_t language);

// BuildError for bytes that are no version resource.
VersionInfo decodeVersionInfo(std::span<const unsigned char> bytes);

} // namespace kwn::build
