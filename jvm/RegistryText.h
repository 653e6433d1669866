#pragma once
// String values in the registry: whoever wrote them decides whether a terminating zero is
// stored, so the text ends at the first zero or at the end of the data, whichever comes first.
#include "platform/Registry.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace kwn::jvm {

// nullopt when the value is missing or does not fit the caller's buffer of maxBytes.
inline std::optional<std::string>
readRegistryText(platform::RegistryKey& key, const std::string& name, std::uint32_t maxBytes) {
    std::optional<std::vector<unsigned char>> data = key.queryValue(name, maxBytes);
    if (!data)
        return std::nullopt;
    auto end = std::find(data->begin(), data->end(), '\0');
    return std::string(data->begin(), end);
}

} // namespace kwn::jvm
