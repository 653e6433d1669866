#include "diag/PrintfFormat.h"

#include <algorithm>

namespace kwn::diag {

long long FormatArg::asSigned() const {
    return kind_ == Kind::Signed ? signed_ : static_cast<long long>(unsigned_);
}

unsigned long long FormatArg::asUnsigned() const {
    return kind_ == Kind::Signed ? static_cast<unsigned long long>(signed_) : unsigned_;
}

std::string FormatArg::asNarrow() const {
    switch (kind_) {
    case Kind::Narrow:
        return std::string(narrow_);
    case Kind::Wide:
        return narrowLatin1(wide_);
    default:
        return {};
    }
}

std::string narrowLatin1(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text)
        out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return out;
}

namespace {

struct Conversion {
    std::string flags;
    std::string width;
    std::string precision; // with its "."
    bool longLong = false;
    char conversion = 0;
};

// Reads one conversion after its "%"; returns the position behind it, or npos when malformed.
size_t parseConversion(std::string_view f, size_t i, Conversion& conversion) {
    while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos)
        conversion.flags += f[i++];
    while (i < f.size() && f[i] >= '0' && f[i] <= '9')
        conversion.width += f[i++];
    if (i < f.size() && f[i] == '.') {
        conversion.precision += f[i++];
        while (i < f.size() && f[i] >= '0' && f[i] <= '9')
            conversion.precision += f[i++];
    }
    if (f.substr(i, 3) == "I64") {
        conversion.longLong = true;
        i += 3;
    } else if (f.substr(i, 2) == "ll") {
        conversion.longLong = true;
        i += 2;
    } else if (i < f.size() && (f[i] == 'l' || f[i] == 'h')) {
        ++i;
    }
    if (i >= f.size())
        return std::string_view::npos;
    conversion.conversion = f[i];
    return i + 1;
}

// A run of decimal digits as parsed above; empty is 0.
size_t number(std::string_view digits) {
    size_t value = 0;
    for (char digit : digits)
        value = value * 10 + static_cast<size_t>(digit - '0');
    return value;
}

// The integer conversions done here rather than by the C library's printf, whose floating-point
// half would come along into the launcher. sign is "-" for a negative value, else "".
std::string integerText(const Conversion& conversion, unsigned long long magnitude,
                        std::string sign) {
    auto has = [&](char flag) { return conversion.flags.find(flag) != std::string::npos; };
    const char c = conversion.conversion;
    const unsigned base = c == 'o' ? 8 : (c == 'x' || c == 'X') ? 16 : 10;
    const char* symbols = c == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string digits;
    for (unsigned long long v = magnitude; v != 0; v /= base)
        digits.insert(digits.begin(), symbols[v % base]);
    const bool hasPrecision = !conversion.precision.empty();
    size_t precision = hasPrecision ? number(conversion.precision.substr(1)) : 1;
    if (digits.size() < precision)
        digits.insert(0, precision - digits.size(), '0');
    if (base == 8 && has('#') && (digits.empty() || digits[0] != '0'))
        digits.insert(digits.begin(), '0');
    if (base == 16 && has('#') && magnitude != 0)
        sign += c == 'x' ? "0x" : "0X";
    if (sign.empty() && (c == 'd' || c == 'i') && (has('+') || has(' ')))
        sign = has('+') ? "+" : " ";
    size_t width = number(conversion.width), length = sign.size() + digits.size();
    if (length < width) {
        if (has('-'))
            digits.append(width - length, ' ');
        else if (has('0') && !hasPrecision)
            digits.insert(0, width - length, '0');
        else
            sign.insert(0, width - length, ' ');
    }
    return sign + digits;
}

std::string padText(std::string text, const Conversion& conversion) {
    if (conversion.precision.size() > 1) {
        size_t limit = number(conversion.precision.substr(1));
        if (text.size() > limit)
            text.resize(limit);
    }
    size_t width = number(conversion.width);
    if (text.size() < width) {
        bool left = conversion.flags.find('-') != std::string::npos;
        text.insert(left ? text.end() : text.begin(), width - text.size(), ' ');
    }
    return text;
}

std::string convert(const Conversion& conversion, const FormatArg& arg) {
    switch (conversion.conversion) {
    case 'd':
    case 'i': {
        long long v = arg.asSigned();
        if (!conversion.longLong)
            v = static_cast<std::int32_t>(v); // the C runtime reads an int: its 32-bit pattern
        auto magnitude = static_cast<unsigned long long>(v);
        return v < 0 ? integerText(conversion, 0 - magnitude, "-")
                     : integerText(conversion, magnitude, "");
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        unsigned long long v = arg.asUnsigned();
        if (!conversion.longLong)
            v &= 0xFFFFFFFFull; // the C runtime reads an unsigned int: its 32-bit pattern
        return integerText(conversion, v, "");
    }
    case 'c':
        return padText(std::string(1, static_cast<char>(arg.asSigned())), conversion);
    case 's':
    case 'S':
        return padText(arg.asNarrow(), conversion);
    case 'p': {
        Conversion pointer; // as the C runtime prints it: every digit, upper case
        pointer.flags = "0";
        pointer.width = std::to_string(2 * sizeof(void*));
        pointer.conversion = 'X';
        return integerText(pointer, arg.asUnsigned(), "");
    }
    default:
        return {};
    }
}

bool knownConversion(char c) {
    return std::string_view("diuxXocsSp").find(c) != std::string_view::npos;
}

} // namespace

std::string formatPrintf(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    const FormatArg* next = args.begin();
    size_t i = 0;
    while (i < format.size()) {
        size_t percent = format.find('%', i);
        out.append(format.substr(i, percent - i));
        if (percent == std::string_view::npos)
            break;
        if (format.substr(percent, 2) == "%%") {
            out += '%';
            i = percent + 2;
            continue;
        }
        Conversion conversion;
        size_t end = parseConversion(format, percent + 1, conversion);
        if (end == std::string_view::npos || !knownConversion(conversion.conversion) ||
            next == args.end()) {
            size_t stop = end == std::string_view::npos ? format.size() : end;
            out.append(format.substr(percent, stop - percent));
            i = stop;
            continue;
        }
        out += convert(conversion, *next++);
        i = end;
    }
    return out;
}

} // namespace kwn::diag
