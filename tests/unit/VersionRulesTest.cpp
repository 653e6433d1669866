#include "jvm/VersionRules.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

// Versions compare part by part, numbers by value (9 before 11, leading zeros ignored), so a
// version ending early sorts below a longer bound. A maximum admits whatever extends it: "1" is
// the 1.x family, not every "1…". The registry's version names compare over the shorter length.
TEST(VersionRules, BoundsComparePartByPart) {
    // clang-format off
    struct Case { const char *version, *minimum, *maximum; bool accepted, inRange; };
    const Case cases[] = {
        {"1.6.0_45", "1.7", "", false, false},     {"1.7.0", "1.7", "", true, true},
        {"1.8.0_20", "1.7", "1.8", true, true},    {"1.7.0_80", "", "1.7", true, true},
        {"1.8.0_05", "", "1.7", false, false},     {"1.7.1", "", "1.7.0_80", false, false},
        {"10.0.1", "1.7", "", true, true},         {"9", "", "1.8", false, false},
        {"1.7", "1.7.0_10", "", false, true},      {"1.8", "1.7", "1.8.0_20", true, true},
        {"1.9", "1.7", "1.8.0_20", false, false},  {"1.8.0-ea", "1.7", "", true, true},
        {"", "1.7", "", false, true},              {"", "", "", true, true},
        {"11.0.2\" 2019-01-1", "1.7", "", true, true}, {"1.8.0_292", "", "1.8", true, true},
        {"9.0.4", "11", "", false, false},         {"9.0.4", "", "17", true, true},
        {"11.0.2", "11", "", true, true},          {"17", "11", "", true, true},
        {"21.0.1", "17", "", true, true},          {"11.0.2", "", "11", true, true},
        {"17", "", "11", false, false},            {"21.0.1", "", "17", false, false},
        {"11", "1.8", "", true, true},             {"1.8.0_292", "", "1", true, true},
        {"11.0.2", "", "1", false, false},         {"1", "11", "", false, false},
        {"17-ea", "9", "", true, true},            {"17-ea", "", "17", true, true},
        {"1.7.0_9", "1.7.0_10", "", false, false}, {"1.8.0_100", "", "1.8.0_20", false, false},
        {"1.8.0_5", "1.8.0_05", "", true, true},
    };
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
