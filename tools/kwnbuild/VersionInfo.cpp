#include "tools/kwnbuild/VersionInfo.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/PeImage.h"

#include <charconv>

namespace kwn::build {

namespace {
using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::uint32_t kFlagsMask = 0x3F;
constexpr std::uint32_t kWindowsNt = 0x00040004; // VOS_NT_WINDOWS32
constexpr std::uint32_t kApplication = 1;        // VFT_APP
constexpr std::size_t kFixedSize = 52;
constexpr std::uint16_t kUnicodeCodePage = 1200;
constexpr std::uint16_t kBinary = 0, kText = 1;

void align4(Bytes& bytes) {
    bytes.resize((bytes.size() + 3) / 4 * 4);
}

void appendUtf16(Bytes& bytes, std::u16string_view text) {
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
}

// One node of the structure: its length, its value's length (in code units for text), its type,
// its key, then its value and children, each on a 4-byte boundary.
Bytes node(std::u16string_view key, const Bytes& value, std::uint16_t valueLength,
           std::uint16_t type, const std::vector<Bytes>& children) {
    Bytes bytes(6, 0);
    appendUtf16(bytes, key);
    align4(bytes);
    bytes.insert(bytes.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        align4(bytes);
        bytes.insert(bytes.end(), child.begin(), child.end());
    }
    putLittleEndian(bytes, 0, bytes.size(), 2);
    putLittleEndian(bytes, 2, valueLength, 2);
    putLittleEndian(bytes, 4, type, 2);
    return bytes;
}

std::u16string ascii(std::string_view text) {
    return {text.begin(), text.end()};
}

std::u16string hex(std::uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::u16string text;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += static_cast<char16_t>(kDigits[(value >> shift) & 0xF]);
    return text;
}

Bytes fixedInfo(const VersionInfo& info) {
    Bytes bytes(kFixedSize, 0);
    auto put = [&](std::size_t offset, std::uint32_t value) {
        putLittleEndian(bytes, offset, value, 4);
    };
    auto high = [](const VersionNumber& v) { return std::uint32_t{v[0]} << 16 | v[1]; };
    auto low = [](const VersionNumber& v) { return std::uint32_t{v[2]} << 16 | v[3]; };
    put(0, kFixedSignature);
    put(4, kFixedStructVersion);
    put(8, high(info.fileVersion));
    put(12, low(info.fileVersion));
    put(16, high(info.productVersion));
    put(20, low(info.productVersion));
    put(24, kFlagsMask);
    put(32, kWindowsNt);
    put(36, kApplication);
    return bytes; // flags, subtype and the file date stay 0, so a rebuild gives the same bytes
}

struct Node {
    std::u16string key;
    std::span<const unsigned char> value;
    std::uint16_t type = 0;
    std::vector<Node> children;
};

Node parseNode(std::span<const unsigned char> bytes) {
    auto fail = [] { throw BuildError("the version resource is malformed"); };
    if (bytes.size() < 6)
        fail();
    std::size_t length = readLittleEndian(bytes, 0, 2);
    std::size_t valueLength = readLittleEndian(bytes, 2, 2);
    Node parsed;
    parsed.type = static_cast<std::uint16_t>(readLittleEndian(bytes, 4, 2));
    if (length < 6 || length > bytes.size())
        fail();
    bytes = bytes.first(length);
    std::size_t at = 6;
    for (; at + 1 < length && readLittleEndian(bytes, at, 2) != 0; at += 2)
        parsed.key += static_cast<char16_t>(readLittleEndian(bytes, at, 2));
    at = (at + 2 + 3) / 4 * 4;
    std::size_t valueBytes = parsed.type == kText ? 2 * valueLength : valueLength;
    if (at + valueBytes > length)
        fail();
    parsed.value = bytes.subspan(at, valueBytes);
    for (at = (at + valueBytes + 3) / 4 * 4; at < length; at = (at + 3) / 4 * 4) {
        parsed.children.push_back(parseNode(bytes.subspan(at)));
        at += readLittleEndian(bytes, at, 2);
    }
    return parsed;
}

std::u16string textOf(std::span<const unsigned char> value) {
    std::u16string text;
    for (std::size_t at = 0; at + 1 < value.size(); at += 2)
        text += static_cast<char16_t>(readLittleEndian(value, at, 2));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

VersionNumber numberOf(std::span<const unsigned char> fixed, std::size_t offset) {
    std::uint32_t high = readLittleEndian(fixed, offset, 4);
    std::uint32_t low = readLittleEndian(fixed, offset + 4, 4);
    return {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
            static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}
} // namespace

VersionNumber parseVersionNumber(std::string_view text, const std::string& where) {
    VersionNumber number{};
    std::size_t part = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (true) {
        unsigned value = 0;
        auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || next == at || value > 0xFFFF || part == number.size())
            throw BuildError(where + ": expected a version of one to four numbers from 0 to "
                                     "65535 separated by '.', such as \"1.2.0.0\"");
        number[part++] = static_cast<std::uint16_t>(value);
        if (next == end)
            return number;
        if (*next != '.')
            at = end; // fails on the next round
        else
            at = next + 1;
    }
}

std::string versionText(const VersionNumber& number) {
    return std::to_string(number[0]) + "." + std::to_string(number[1]) + "." +
           std::to_string(number[2]) + "." + std::to_string(number[3]);
}

std::vector<unsigned char> encodeVersionInfo(const VersionInfo& info, std::uint16_t language) {
    std::vector<Bytes> strings;
    for (const auto& [key, value] : info.strings) {
        Bytes text;
        appendUtf16(text, value);
        strings.push_back(
            node(ascii(key), text, static_cast<std::uint16_t>(value.size() + 1), kText, {}));
    }
    Bytes table = node(hex(language, 4) + hex(kUnicodeCodePage, 4), {}, 0, kText, strings);
    Bytes translation(4, 0);
    putLittleEndian(translation, 0, language, 2);
    putLittleEndian(translation, 2, kUnicodeCodePage, 2);
    Bytes var = node(u"Translation", translation, 4, kBinary, {});
    return node(u"VS_VERSION_INFO", fixedInfo(info), kFixedSize, kBinary,
                {node(u"StringFileInfo", {}, 0, kText, {table}),
                 node(u"VarFileInfo", {}, 0, kText, {var})});
}

VersionInfo decodeVersionInfo(std::span<const unsigned char> bytes) {
    Node root = parseNode(bytes);
    if (root.key != u"VS_VERSION_INFO" || root.value.size() < kFixedSize ||
        readLittleEndian(root.value, 0, 4) != kFixedSignature)
        throw BuildError("the version resource is malformed");
    VersionInfo info{numberOf(root.value, 8), numberOf(root.value, 16), {}};
    for (const Node& child : root.children) {
        if (child.key != u"StringFileInfo")
            continue;
        for (const Node& table : child.children) {
            for (const Node& string : table.children) {
                std::string key(string.key.begin(), string.key.end());
                info.strings.push_back({key, textOf(string.value)});
            }
        }
    }
    return info;
}

} // namespace kwn::build
