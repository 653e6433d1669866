#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using Bytes = std::vector<unsigned char>;

// The entry is believed only under the user, with the file's time stored low byte first and
// equal byte for byte; a bare family prefix is distrusted, the failure marker is the caller's.
TEST(ProbeCache, ReadsOnlyAnEntryWithTheFilesExactStamp) {
    const std::string key = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe";
    const Bytes time = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    const auto user = RegistryRoot::CurrentUser;
    struct Case {
        Bytes stamp;
        const char* stored; // nullptr: no version
        std::optional<std::string> read;
        bool withZero = false;
    } const cases[] = {
        {time, "1.8.0_20", "1.8.0_20"},
        {time, "1.8.0_20", "1.8.0_20", true},
        {{0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01}, "1.8.0_20", {}},
        {{}, "1.8.0_20", {}},
        {time, nullptr, {}},
        {time, "1.6.", {}},
        {time, "1.6", "1.6"},
        {time, "1.0.0", "1.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        test::FakeRegistry registry;
        registry.addKey(user, key);
        if (!c.stamp.empty())
            registry.setBinary(user, key, "LastWriteTime", c.stamp);
        if (c.stored)
            registry.setString(user, key, "Version", c.stored, {}, c.withZero);
        EXPECT_EQ(ProbeCache(registry).read("c:\\jre\\bin\\java.exe", 0x01D2C3B4A5968778), c.read);
    }
    // Written as it is read, unless the key cannot be created.
    test::FakeRegistry registry;
    ProbeCache(registry).write("c:\\jre\\bin\\java.exe", 0x01D2C3B4A5968778, "1.8.0_20");
    auto stamp = registry.value(user, key, "LastWriteTime");
    EXPECT_EQ(stamp ? stamp->data : Bytes(), time);
    registry.failCreate = true;
    ProbeCache(registry).write("c:\\y.exe", 5, "1.8.0_20");
    EXPECT_EQ(ProbeCache(registry).read("c:\\y.exe", 5), std::nullopt);
}

} // namespace
} // namespace kwn::jvm
