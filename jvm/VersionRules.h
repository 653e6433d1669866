#pragma once
// Java versions are compared part by part: runs of digits as numbers, everything between them as
// text. So "9.0.4" < "11" < "11.0.2" < "17", while every "1.x" keeps the order it has as text
// ("10.0.1" passes the minimum "1.7"), and a maximum admits every version that begins with all
// of its parts ("1.8" admits "1.8.0_20", "1" does not admit "11").
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace kwn::jvm {

constexpr std::size_t kEveryPart = std::numeric_limits<std::size_t>::max();

// Negative, zero or positive as a is older than, as old as or newer than b, over at most the
// first `parts` parts of each. A version that ends early is the older ("1.7" < "1.7.0_10").
int compareVersions(std::string_view a, std::string_view b, std::size_t parts = kEveryPart);

// The bounds a probed or cached version must keep, with the pre-release rule ("beta", "ea" or
// "rc" anywhere refuses it unless allowed). A version shorter than a bound compares its end.
bool acceptVersion(const std::string& version, const std::string& minimum,
                   const std::string& maximum, bool allowPreRelease, bool preReleaseEverywhere);

// The looser rule for version names in the registry: compared only over the shorter length.
bool versionInRange(const std::string& version, const std::string& minimum,
                    const std::string& maximum);

bool isPreRelease(const std::string& version);

// Whether acceptVersion refuses the version for being a pre-release, so that the caller can
// say so in the log before any bound is looked at.
bool preReleaseRefused(const std::string& version, bool allowPreRelease, bool preReleaseEverywhere);

} // namespace kwn::jvm
