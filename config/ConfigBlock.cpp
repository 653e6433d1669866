#include "config/ConfigBlock.h"

#include "diag/ByteText.h"

#include <limits>

namespace kwn::config {

std::string ConfigBlock::getString(Key key, size_t capacity) const {
    auto it = narrow_.find(key);
    if (it == narrow_.end() || capacity == 0)
        return {};
    return it->second.substr(0, capacity - 1);
}

std::u16string ConfigBlock::getWString(Key key, size_t capacity) const {
    return diag::widenBytes(getString(key, capacity));
}

std::int32_t ConfigBlock::getInt(Key key) const {
    return parseLeadingInt(getString(key));
}

std::uint32_t ConfigBlock::getColor(Key key) const {
    std::string text = getString(key);
    std::uint32_t color = 0;
    int field = 0;
    size_t start = 0;
    while (field < 3 && start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
        if (!part.empty()) {
            auto channel = static_cast<std::uint32_t>(parseLeadingInt(part)) & 0xFFu;
            color |= channel << (8 * field++);
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return color;
}

namespace {
std::optional<std::u16string> entry(const std::map<Key, std::u16string>& table, Key key) {
    auto it = table.find(key);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}
} // namespace

std::optional<std::u16string> ConfigBlock::wideEntry(Key key) const {
    return entry(wide_, key);
}

std::optional<std::u16string> ConfigBlock::localizedText(Key key) const {
    return entry(localized_, key);
}

std::int32_t parseLeadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                     : std::numeric_limits<int>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

} // namespace kwn::config
