#pragma once
// Java versions are compared as text, byte by byte, never as numbers: "10.0.1" passes the
// minimum "1.7" because "0" sorts after ".", and a maximum admits every version it begins.
#include <string>

namespace kwn::jvm {

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
