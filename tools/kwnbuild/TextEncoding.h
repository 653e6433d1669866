#pragma once
// Conversions from the UTF-8 of TOML files and command lines to the two encodings the launcher
// reads: Windows-1252 bytes for narrow values and UTF-16 for wide ones.
#include <optional>
#include <string>
#include <string_view>

namespace kwn::build {

// The code points of well-formed UTF-8; nullopt for malformed, overlong or surrogate sequences.
std::optional<std::u32string> decodeUtf8(std::string_view text);

// The Windows-1252 byte of a code point; nullopt when the code page has none for it.
std::optional<unsigned char> windows1252Byte(char32_t codePoint);

std::u16string encodeUtf16(std::u32string_view codePoints);

// "U+20AC", the form messages name a character by.
std::string codePointName(char32_t codePoint);

// The code points of text that is to reach the launcher: BuildError, prefixed with `where`, for
// malformed UTF-8 and for NUL, at which the launcher would cut the text off.
std::u32string checkedCodePoints(std::string_view utf8, const std::string& where);

// UTF-8 as the Windows-1252 bytes the launcher's narrow values are, or BuildError naming the
// first character the code page lacks.
std::string windows1252Text(std::string_view utf8, const std::string& where);

// Narrow launcher text back as UTF-8; nullopt when it holds a NUL or a byte the code page leaves
// unassigned, which no configuration can write.
std::optional<std::string> windows1252ToUtf8(std::string_view bytes);

} // namespace kwn::build
