#include "tools/kwnbuild/TextEncoding.h"

#include "tools/kwnbuild/BuildError.h"

#include <array>
#include <cstdio>

namespace kwn::build {

namespace {
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kNone = 0;

// Code points of the bytes 0x80-0x9F; the five bytes Windows-1252 leaves unassigned hold none.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, kNone,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, kNone,  0x017D, kNone,  kNone,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kNone,  0x017E, 0x0178};

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts and the payload bits it carries; 0 for a byte that
// cannot start one.
size_t sequenceLength(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) {
        bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        bits = lead & 0x07;
        return 4;
    }
    return 0;
}

// The smallest code point each sequence length may carry; shorter forms are overlong.
constexpr std::array<char32_t, 5> kMinimumForLength = {0, 0, 0x80, 0x800, 0x10000};
} // namespace

std::optional<std::u32string> decodeUtf8(std::string_view text) {
    std::u32string result;
    size_t i = 0;
    while (i < text.size()) {
        char32_t codePoint = 0;
        size_t length = sequenceLength(static_cast<unsigned char>(text[i]), codePoint);
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            auto byte = static_cast<unsigned char>(text[i + k]);
            if (!isContinuation(byte))
                return std::nullopt;
            codePoint = (codePoint << 6) | (byte & 0x3F);
        }
        bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (codePoint < kMinimumForLength[length] || codePoint > kMaxCodePoint || surrogate)
            return std::nullopt;
        result.push_back(codePoint);
        i += length;
    }
    return result;
}

std::optional<unsigned char> windows1252Byte(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<unsigned char>(codePoint);
    for (size_t i = 0; i < kWindows1252High.size(); ++i) {
        if (kWindows1252High[i] != kNone && kWindows1252High[i] == codePoint)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

std::u16string encodeUtf16(std::u32string_view codePoints) {
    std::u16string result;
    for (char32_t codePoint : codePoints) {
        if (codePoint < 0x10000) {
            result.push_back(static_cast<char16_t>(codePoint));
            continue;
        }
        char32_t offset = codePoint - 0x10000;
        result.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
        result.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    }
    return result;
}

std::string codePointName(char32_t codePoint) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

std::u32string checkedCodePoints(std::string_view utf8, const std::string& where) {
    std::optional<std::u32string> codePoints = decodeUtf8(utf8);
    if (!codePoints)
        throw BuildError(where + ": the text is not valid UTF-8");
    for (char32_t codePoint : *codePoints) {
        if (codePoint == 0)
            throw BuildError(
                where + ": the text holds a NUL character, where the launcher would cut it off");
    }
    return *codePoints;
}

std::string windows1252Text(std::string_view utf8, const std::string& where) {
    std::string bytes;
    for (char32_t codePoint : checkedCodePoints(utf8, where)) {
        std::optional<unsigned char> byte = windows1252Byte(codePoint);
        if (!byte)
            throw BuildError(where + ": " + codePointName(codePoint) +
                             " has no Windows-1252 byte; narrow text must be Windows-1252");
        bytes.push_back(static_cast<char>(*byte));
    }
    return bytes;
}

std::optional<std::string> windows1252ToUtf8(std::string_view bytes) {
    std::string utf8;
    for (char byte : bytes) {
        auto value = static_cast<unsigned char>(byte);
        char32_t codePoint = value >= 0x80 && value < 0xA0 ? kWindows1252High[value - 0x80] : value;
        if (codePoint == kNone)
            return std::nullopt;
        if (codePoint < 0x80) {
            utf8.push_back(static_cast<char>(codePoint));
        } else if (codePoint < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        }
    }
    return utf8;
}

} // namespace kwn::build
