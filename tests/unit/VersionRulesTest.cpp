#include "jvm/VersionRules.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

struct BoundsCase {
    const char* version;
    const char* minimum;
    const char* maximum;
    bool accepted;
};

TEST(AcceptVersion, ComparesTextOverTheBoundsLength) {
    const BoundsCase cases[] = {
        {"1.6.0_45", "1.7", "", false},
        {"1.7.0", "1.7", "", true},
        {"1.7", "1.7", "", true},
        {"1.8.0_20", "1.7", "", true},
        {"1.7.0_80", "", "1.7", true}, // a maximum admits every version it begins
        {"1.8.0_05", "", "1.7", false},
        {"1.7.1", "", "1.7.0_80", false},
        {"10.0.1", "1.7", "", true}, // "0" sorts after "."
        {"9", "", "1.8", false},
        {"1.7", "1.7.0_10", "", false}, // the version's end sorts below "."
        {"11.0.2\" 2019-01-1", "1.7", "", true},
        {"1.8.0_20", "1.7", "1.8", true},
        {"", "1.7", "", false},
        {"", "", "", true},
        {"anything", "", "", true},
    };
    for (const BoundsCase& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " in [" + c.minimum + ", " + c.maximum + "]");
        EXPECT_EQ(acceptVersion(c.version, c.minimum, c.maximum, true, false), c.accepted);
    }
}

TEST(AcceptVersion, PreReleasesNeedPermissionFromTheCallerOrTheConfiguration) {
    struct Case {
        const char* version;
        bool allowPreRelease;
        bool everywhere;
        bool accepted;
    };
    const Case cases[] = {
        {"1.8.0-ea", false, false, false},
        {"1.8.0-ea", true, false, true},
        {"1.8.0-ea", false, true, true},
        {"1.7.0_21-rc1", false, false, false},
        {"1.9.0-beta", false, false, false},
        {"1.8.0_20-search", false, false, false}, // merely containing "ea" is enough
        {"1.8.0-EA", false, false, true},         // the search is case-sensitive
        {"1.8.0_20", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + std::string(c.allowPreRelease ? " allowed" : "") +
                     (c.everywhere ? " everywhere" : ""));
        EXPECT_EQ(acceptVersion(c.version, "1.7", "", c.allowPreRelease, c.everywhere), c.accepted);
        EXPECT_EQ(preReleaseRefused(c.version, c.allowPreRelease, c.everywhere), !c.accepted);
    }
}

TEST(AcceptVersion, PreReleaseRuleComesOnTopOfTheBounds) {
    EXPECT_FALSE(acceptVersion("1.6.0-ea", "1.7", "", true, true));
    EXPECT_FALSE(acceptVersion("1.9.0-ea", "", "1.8", true, false));
}

TEST(VersionInRange, ComparesOnlyOverTheShorterLength) {
    const BoundsCase cases[] = {
        {"1.7", "1.7.0_10", "", true},    {"1.6", "1.7", "", false},
        {"1.8", "", "1.7", false},        {"1.7.0_21", "", "1.7", true},
        {"1.8", "1.7", "1.8.0_20", true}, {"1.9", "1.7", "1.8.0_20", false},
        {"1.8.0_20", "1.7", "1.8", true}, {"1.8.0-ea", "1.7", "", true}, // no pre-release rule here
        {"", "1.7", "1.8", true},
    };
    for (const BoundsCase& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " in [" + c.minimum + ", " + c.maximum + "]");
        EXPECT_EQ(versionInRange(c.version, c.minimum, c.maximum), c.accepted);
    }
}

TEST(VersionInRange, DiffersFromAcceptVersionForAVersionShorterThanTheMinimum) {
    EXPECT_TRUE(versionInRange("1.7", "1.7.0_10", ""));
    EXPECT_FALSE(acceptVersion("1.7", "1.7.0_10", "", true, false));
}

} // namespace
} // namespace kwn::jvm
