#pragma once
// String values in the registry: whoever wrote them decides whether a terminating zero is
// stored, so the text ends at the first zero or at the end of the data, whichever comes first.
#include "platform/Registry.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kwn::jvm {

constexpr std::uint32_t kErrorNoMoreItems = 259;
// A key deleted while it is enumerated fails alike at every index; after this many unreadable
// entries in a row the walk ends rather than never.
constexpr std::uint32_t kMaxUnreadableInARow = 16;

// The subkey names in the registry's order. An entry that cannot be read is skipped: only the
// end of the list ends the walk.
inline std::vector<std::string> subkeyNames(platform::RegistryKey& key) {
    std::vector<std::string> names;
    std::uint32_t unreadable = 0;
    for (std::uint32_t index = 0; unreadable < kMaxUnreadableInARow; ++index) {
        std::string name;
        std::uint32_t error = key.enumerateSubkey(index, name);
        if (error == kErrorNoMoreItems)
            break;
        unreadable = error == 0 ? 0 : unreadable + 1;
        if (error == 0)
            names.push_back(std::move(name));
    }
    return names;
}

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
