#include "jvm/VersionRules.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

// Versions compare as text over a bound's length, so a version ending early sorts below it;
// the registry's version names compare only over the shorter length.
TEST(VersionRules, BoundsCompareAsText) {
    struct Case {
        const char *version, *minimum, *maximum;
        bool accepted, inRange;
    } const cases[] = {
        {"1.6.0_45", "1.7", "", false, false},
        {"1.7.0", "1.7", "", true, true},
        {"1.8.0_20", "1.7", "1.8", true, true},
        {"1.7.0_80", "", "1.7", true, true},
        {"1.8.0_05", "", "1.7", false, false},
        {"1.7.1", "", "1.7.0_80", false, false},
        {"10.0.1", "1.7", "", true, true},
        {"9", "", "1.8", false, false},
        {"1.7", "1.7.0_10", "", false, true},
        {"1.8", "1.7", "1.8.0_20", true, true},
        {"1.9", "1.7", "1.8.0_20", false, false},
        {"1.8.0-ea", "1.7", "", true, true},
        {"", "1.7", "", false, true},
        {"", "", "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(acceptVersion(c.version, c.minimum, c.maximum, true, false), c.accepted);
        EXPECT_EQ(versionInRange(c.version, c.minimum, c.maximum), c.inRange);
    }
}

// "beta", "ea" or "rc" anywhere, case-sensitive, unless the caller or the configuration allows.
TEST(VersionRules, PreReleasesNeedPermission) {
    struct Case {
        const char* version;
        bool allowed, everywhere, refused, accepted;
    } const cases[] = {
        {"1.8.0-ea", false, false, true, false},   {"1.8.0-ea", true, false, false, true},
        {"1.8.0-ea", false, true, false, true},    {"1.7.0_21-rc1", false, false, true, false},
        {"1.9.0-beta", false, false, true, false}, {"1.8.0_20-search", false, false, true, false},
        {"1.8.0-EA", false, false, false, true},   {"1.8.0_20", false, false, false, true},
        {"1.6.0-ea", true, true, false, false}, // the bounds still apply
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(acceptVersion(c.version, "1.7", "", c.allowed, c.everywhere), c.accepted);
        EXPECT_EQ(preReleaseRefused(c.version, c.allowed, c.everywhere), c.refused);
    }
}

} // namespace
} // namespace kwn::jvm
