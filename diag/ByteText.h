#pragma once
// Byte-for-code-unit text conversions. Narrow configuration values and narrow-safe paths are
// widened this way on purpose (a byte 0xE9 becomes U+00E9), without any code page.
#include <string>
#include <string_view>

namespace kwn::diag {

inline std::u16string widenBytes(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char byte : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    return out;
}

} // namespace kwn::diag
