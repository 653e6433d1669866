#include "jvm/LocatedJvms.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;

const std::string kLocated = "SOFTWARE\\corvane-systems\\qelvo\\locatedjvms\\";
const VersionBounds kBounds{"1.7", ""};

// Records a located runtime as other software does: the executable's path as a key name, with
// "/" for "\". Without a version the executable does not exist.
void locate(test::RuntimeMachine& m, RegistryRoot root, const std::string& home,
            const std::optional<std::string>& version, std::string keyName = "") {
    if (keyName.empty()) {
        keyName = home + "/bin/java.exe";
        std::replace(keyName.begin(), keyName.end(), '\\', '/');
    }
    m.fake.registry.addKey(root, kLocated + keyName);
    if (version)
        m.addRuntime(home, *version);
}

TEST(LocatedJvms, OneRootGivesItsHighestAcceptableVersion) {
    struct Entry {
        std::string home;
        std::optional<std::string> version;
    };
    struct Case {
        std::vector<Entry> entries;
        std::optional<std::string> chosenHome;
    };
    const Case cases[] = {
        // Of equal versions the first enumerated (alphabetically) stays.
        {{{"c:\\rt\\a", "1.7.0_21"}, {"c:\\rt\\b", "1.8.0_05"}, {"c:\\rt\\c", "1.8.0_05"}},
         "c:\\rt\\b"},
        // Pre-releases are welcome from this source.
        {{{"c:\\rt\\b", "1.8.0_05"}, {"c:\\rt\\d", "1.9.0-ea"}}, "c:\\rt\\d"},
        // Too old, or no longer there.
        {{{"c:\\rt\\e", "1.6.0_45"}, {"c:\\rt\\gone", std::nullopt}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosenHome.value_or("none"));
        test::RuntimeMachine m;
        for (const Entry& entry : c.entries)
            locate(m, RegistryRoot::CurrentUser, entry.home, entry.version);
        auto found = findLocatedJvm(m.ctx, RegistryRoot::CurrentUser, kBounds, true);
        ASSERT_EQ(found.has_value(), c.chosenHome.has_value());
        if (c.chosenHome) {
            EXPECT_EQ(found->executable, *c.chosenHome + "\\bin\\java.exe");
        }
        EXPECT_FALSE(findLocatedJvm(m.ctx, RegistryRoot::LocalMachine, kBounds, true));
    }
}

TEST(LocatedJvms, TheEntryComesBackAsTheCheckNormalisedIt) {
    test::RuntimeMachine m;
    locate(m, RegistryRoot::LocalMachine, "c:\\rt\\a", "1.8.0_05", "C:/RT//A/bin/java.exe");
    auto found = findLocatedJvm(m.ctx, RegistryRoot::LocalMachine, kBounds, true);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->executable, "c:\\rt\\a\\bin\\java.exe");
    EXPECT_EQ(found->version, "1.8.0_05");
}

TEST(LocatedJvms, TheUsersRuntimeWinsOnlyWithAGreaterVersion) {
    struct Case {
        std::optional<std::string> user, machine;
        std::optional<std::string> chosen; // "user" or "machine"
    };
    const Case cases[] = {
        {"1.7.0_21", "1.8.0_05", "machine"}, {"1.8.0_05", "1.8.0_05", "machine"},
        {"1.8.0_05", "1.7.0_21", "user"},    {std::nullopt, "1.7.0_21", "machine"},
        {"1.7.0_21", std::nullopt, "user"},  {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user.value_or("-") + " / " + c.machine.value_or("-"));
        test::RuntimeMachine m;
        if (c.user)
            locate(m, RegistryRoot::CurrentUser, "c:\\user", c.user);
        if (c.machine)
            locate(m, RegistryRoot::LocalMachine, "c:\\machine", c.machine);
        auto found = findLocatedJvms(m.ctx, kBounds, true);
        ASSERT_EQ(found.has_value(), c.chosen.has_value());
        if (c.chosen) {
            EXPECT_EQ(found->executable, "c:\\" + *c.chosen + "\\bin\\java.exe");
        }
    }
}

} // namespace
} // namespace kwn::jvm
