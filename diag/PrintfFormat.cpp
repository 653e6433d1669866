#include "diag/PrintfFormat.h"

#include <algorithm>
#include <cstdio>

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

struct Spec {
    std::string flags;
    std::string width;
    std::string precision; // with its "."
    bool longLong = false;
    char conversion = 0;
};

// Reads one conversion after its "%"; returns the position behind it, or npos when malformed.
size_t parseSpec(std::string_view f, size_t i, Spec& spec) {
    while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos)
        spec.flags += f[i++];
    while (i < f.size() && f[i] >= '0' && f[i] <= '9')
        spec.width += f[i++];
    if (i < f.size() && f[i] == '.') {
        spec.precision += f[i++];
        while (i < f.size() && f[i] >= '0' && f[i] <= '9')
            spec.precision += f[i++];
    }
    if (f.substr(i, 3) == "I64") {
        spec.longLong = true;
        i += 3;
    } else if (f.substr(i, 2) == "ll") {
        spec.longLong = true;
        i += 2;
    } else if (i < f.size() && (f[i] == 'l' || f[i] == 'h')) {
        ++i;
    }
    if (i >= f.size())
        return std::string_view::npos;
    spec.conversion = f[i];
    return i + 1;
}

std::string viaSnprintf(const std::string& format, auto value) {
    char buffer[128];
    int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

std::string padText(std::string text, const Spec& spec) {
    if (spec.precision.size() > 1) {
        size_t limit = std::stoul(spec.precision.substr(1));
        if (text.size() > limit)
            text.resize(limit);
    }
    size_t width = spec.width.empty() ? 0 : std::stoul(spec.width);
    if (text.size() < width) {
        bool left = spec.flags.find('-') != std::string::npos;
        text.insert(left ? text.end() : text.begin(), width - text.size(), ' ');
    }
    return text;
}

std::string convert(const Spec& spec, const FormatArg& arg) {
    std::string base = "%" + spec.flags + spec.width + spec.precision;
    switch (spec.conversion) {
    case 'd':
    case 'i': {
        long long v = arg.asSigned();
        if (!spec.longLong)
            v = static_cast<std::int32_t>(v); // the C runtime reads an int: its 32-bit pattern
        return viaSnprintf(base + "lld", v);
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        unsigned long long v = arg.asUnsigned();
        if (!spec.longLong)
            v &= 0xFFFFFFFFull; // the C runtime reads an unsigned int: its 32-bit pattern
        return viaSnprintf(base + "ll" + spec.conversion, v);
    }
    case 'c':
        return padText(std::string(1, static_cast<char>(arg.asSigned())), spec);
    case 's':
    case 'S':
        return padText(arg.asNarrow(), spec);
    case 'p':
        return viaSnprintf(std::string("%0") + std::to_string(2 * sizeof(void*)) + "llX",
                           arg.asUnsigned());
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
        Spec spec;
        size_t end = parseSpec(format, percent + 1, spec);
        if (end == std::string_view::npos || !knownConversion(spec.conversion) ||
            next == args.end()) {
            size_t stop = end == std::string_view::npos ? format.size() : end;
            out.append(format.substr(percent, stop - percent));
            i = stop;
            continue;
        }
        out += convert(spec, *next++);
        i = end;
    }
    return out;
}

} // namespace kwn::diag
