#include "files/IncludedFileName.h"

#include <array>

namespace kwn::files {

namespace {
// Names Windows opens as devices in any directory, with or without an extension.
constexpr std::array<std::string_view, 6> kDeviceNames = {"CON", "PRN",    "AUX",
                                                          "NUL", "CONIN$", "CONOUT$"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view text, std::string_view upperCase) {
    if (text.size() != upperCase.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (upper(text[i]) != upperCase[i])
            return false;
    }
    return true;
}

// Windows also takes the superscript digits of the ANSI code page as device numbers.
bool isDeviceDigit(char c) {
    return (c >= '0' && c <= '9') || c == '\xB9' || c == '\xB2' || c == '\xB3';
}

bool isDeviceName(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    for (std::string_view device : kDeviceNames) {
        if (equalsIgnoringCase(base, device))
            return true;
    }
    for (std::string_view device : kNumberedDevices) {
        if (base.size() == 4 && equalsIgnoringCase(base.substr(0, 3), device) &&
            isDeviceDigit(base[3]))
            return true;
    }
    return false;
}

// "." and "..", and the spellings Windows trims to them ("...", ". ").
bool isOnlyDotsAndSpaces(std::string_view component) {
    return component.find_first_not_of(". ") == std::string_view::npos;
}

std::optional<std::string_view> componentFault(std::string_view component) {
    if (component.empty())
        return "an empty component";
    if (isOnlyDotsAndSpaces(component))
        return "a '.' or '..' component";
    if (isDeviceName(component))
        return "a device name";
    return std::nullopt;
}
} // namespace

std::optional<std::string_view> includedNameFault(std::string_view name) {
    if (name.empty())
        return "no name";
    if (name.front() == '\\')
        return "a rooted or UNC start";
    if (name.find(':') != std::string_view::npos)
        return "a drive or stream (':')";
    if (name.find('/') != std::string_view::npos)
        return "a '/'";
    size_t start = 0;
    while (true) {
        size_t end = name.find('\\', start);
        if (std::optional<std::string_view> fault = componentFault(name.substr(start, end - start)))
            return fault;
        if (end == std::string_view::npos)
            return std::nullopt;
        start = end + 1;
    }
}

} // namespace kwn::files
