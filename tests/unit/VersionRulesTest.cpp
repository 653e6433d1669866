#include "jvm/VersionRules.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

// Versions compare part by part, numbers by value, so that 9 sorts before 11 and leading zeros
// do not count; a version ending early sorts below a longer minimum, yet the registry's version
// names compare only over the shorter length. The search tests hold the other rules of bounds.
TEST(VersionRules, BoundsComparePartByPart) {
    // clang-format off
    struct Case { const char *version, *minimum, *maximum; bool accepted, inRange; };
    const Case cases[] = {{"1.8.0_5", "1.8.0_05", "", true, true}, {"1.7", "1.7.0_10", "", false, true},
                          {"9.0.4", "11", "", false, false}, {"9", "", "1.8", false, false}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " in " + c.minimum + ".." + c.maximum);
        EXPECT_EQ(acceptVersion(c.version, c.minimum, c.maximum, true, false), c.accepted);
        EXPECT_EQ(versionInRange(c.version, c.minimum, c.maximum), c.inRange);
    }
}

// "beta", "ea" or "rc" anywhere, case-sensitive, unless the caller or the configuration allows.
TEST(VersionRules, PreReleasesNeedPermission) {
    // clang-format off
    struct Case { const char* version; bool allowed, everywhere, refused, accepted; };
    const Case cases[] = {
        {"1.8.0-ea", false, false, true, false},   {"1.8.0-ea", true, false, false, true},
        {"1.8.0-ea", false, true, false, true},    {"1.7.0_21-rc1", false, false, true, false},
        {"1.9.0-beta", false, false, true, false}, {"1.8.0_20-search", false, false, true, false},
        {"1.8.0-EA", false, false, false, true},   {"1.8.0_20", false, false, false, true},
        {"1.6.0-ea", true, true, false, false}, // the bounds still apply
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(acceptVersion(c.version, "1.7", "", c.allowed, c.everywhere), c.accepted);
        EXPECT_EQ(preReleaseRefused(c.version, c.allowed, c.everywhere), c.refused);
    }
}

} // namespace
} // namespace kwn::jvm
