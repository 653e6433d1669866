#pragma once
// Conversions between UTF-16 and the narrow file-system code page (ANSI, or OEM when the file
// functions are switched to it). Everything the launcher converts goes through here.
#include <string>

namespace kwn::platform {

struct NarrowText {
    std::string text;
    bool usedDefaultCharacter = false; // a character had no narrow form and became "?"
};

class CodePage {
public:
    virtual ~CodePage() = default;
    virtual NarrowText toNarrow(const std::u16string& text) = 0; // WideCharToMultiByte, "?"
    virtual std::u16string toWide(const std::string& text) = 0;  // MultiByteToWideChar
};

} // namespace kwn::platform
