#include "jvm/VersionRules.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace kwn::jvm {

namespace {
// strncmp over n bytes: a version that ends early compares its terminating zero, which sorts
// below every character, so "1.7" stays below the minimum "1.7.0_10".
int compareFirst(const std::string& version, const std::string& bound, std::size_t n) {
    return std::strncmp(version.c_str(), bound.c_str(), n);
}
} // namespace

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
    if (compareFirst(version, minimum, minimum.size()) < 0)
        return false;
    return compareFirst(version, maximum, maximum.size()) <= 0;
}

bool versionInRange(const std::string& version, const std::string& minimum,
                    const std::string& maximum) {
    if (compareFirst(version, minimum, std::min(version.size(), minimum.size())) < 0)
        return false;
    return compareFirst(version, maximum, std::min(version.size(), maximum.size())) <= 0;
}

} // namespace kwn::jvm
