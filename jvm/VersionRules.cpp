#include "jvm/VersionRules.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kwn::jvm {

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "1.8.0_20" is 1 . 8 . 0 _ 20, and "17-ea" is 17 -ea.
std::vector<std::string_view> versionParts(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start < text.size();) {
        bool digits = isDigit(text[start]);
        std::size_t end = start + 1;
        while (end < text.size() && isDigit(text[end]) == digits)
            ++end;
        parts.push_back(text.substr(start, end - start));
        start = end;
    }
    return parts;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

// Numbers by value, so that 9 < 11; anything else byte by byte, where a digit sorts after the
// separators "." "_" "-", as it does in the text.
int comparePart(std::string_view a, std::string_view b) {
    if (isDigit(a.front()) && isDigit(b.front())) {
        a.remove_prefix(std::min(a.find_first_not_of('0'), a.size() - 1));
        b.remove_prefix(std::min(b.find_first_not_of('0'), b.size() - 1));
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
    }
    return sign(a.compare(b));
}

std::size_t partCount(std::string_view version) {
    return versionParts(version).size();
}
} // namespace

int compareVersions(std::string_view a, std::string_view b, std::size_t parts) {
    std::vector<std::string_view> left = versionParts(a);
    std::vector<std::string_view> right = versionParts(b);
    std::size_t leftCount = std::min(left.size(), parts);
    std::size_t rightCount = std::min(right.size(), parts);
    for (std::size_t i = 0; i < std::min(leftCount, rightCount); ++i)
        if (int order = comparePart(left[i], right[i]))
            return order;
    return (leftCount > rightCount) - (leftCount < rightCount);
}

bool isPreRelease(const std::string& version) {
    // Plain substrings, case-sensitive: any text that merely contains them counts.
    static constexpr std::array<std::string_view, 3> kMarks = {"beta", "ea", "rc"};
    return std::any_of(kMarks.begin(), kMarks.end(), [&](std::string_view mark) {
        return version.find(mark) != std::string::npos;
    });
}

bool preReleaseRefused(const std::string& version, bool allowPreRelease,
                       bool preReleaseEverywhere) {
    return !allowPreRelease && !preReleaseEverywhere && isPreRelease(version);
}

bool acceptVersion(const std::string& version, const std::string& minimum,
                   const std::string& maximum, bool allowPreRelease, bool preReleaseEverywhere) {
    if (preReleaseRefused(version, allowPreRelease, preReleaseEverywhere))
        return false;
    if (compareVersions(version, minimum) < 0)
        return false;
    // Only as far as the maximum goes: "1.8" admits every "1.8…", "1" every "1.x" but not "11".
    return compareVersions(version, maximum, partCount(maximum)) <= 0;
}

bool versionInRange(const std::string& version, const std::string& minimum,
                    const std::string& maximum) {
    std::size_t parts = partCount(version);
    if (compareVersions(version, minimum, std::min(parts, partCount(minimum))) < 0)
        return false;
    return compareVersions(version, maximum, std::min(parts, partCount(maximum))) <= 0;
}

} // namespace kwn::jvm
