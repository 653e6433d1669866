#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using Bytes = std::vector<unsigned char>;

// The entry is believed only under the user, with the file's time stored low byte first and
// equal byte for byte; a bare family prefix is distrusted, the failure marker is the caller's.
// Writing is covered where the search caches its probes.
TEST(ProbeCache, ReadsOnlyAnEntryWithTheFilesExactStamp) {
    const std::string key = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe";
    const Bytes time = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    // clang-format off
    // The stamp stored, the version stored (nullptr: none), what is read, stored with its zero.
    struct Case { Bytes stamp; const char* stored; std::optional<std::string> read; bool withZero = false; };
    const Case cases[] = {
        {time, "1.8.0_20", "1.8.0_20"}, {time, "1.8.0_20", "1.8.0_20", true},
        {{0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01}, "1.8.0_20", {}},
        {{}, "1.8.0_20", {}}, {time, nullptr, {}}, {time, "1.6.", {}}, {time, "1.6", "1.6"},
        {time, "1.0.0", "1.0.0"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        test::FakeRegistry registry;
        registry.addKey(RegistryRoot::CurrentUser, key);
        if (!c.stamp.empty())
            registry.setBinary(RegistryRoot::CurrentUser, key, "LastWriteTime", c.stamp);
        if (c.stored)
            registry.setString(RegistryRoot::CurrentUser, key, "Version", c.stored, {}, c.withZero);
        EXPECT_EQ(ProbeCache(registry).read("c:\\jre\\bin\\java.exe", 0x01D2C3B4A5968778), c.read);
    }
}

} // namespace
} // namespace kwn::jvm
