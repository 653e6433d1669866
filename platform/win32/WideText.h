#pragma once
// UTF-16 strings cross into the W functions without copying: wchar_t is 16 bits on Windows.
#include <string>
#include <windows.h>

namespace kwn::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string fromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string fromWide(const wchar_t* text) {
    return fromWide(text, wcslen(text));
}

} // namespace kwn::platform::win32
