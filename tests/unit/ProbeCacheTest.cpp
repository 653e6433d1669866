#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using Bytes = std::vector<unsigned char>;

// The file's time is stored low byte first and must be equal byte for byte; the failure marker
// is the caller's to judge. Fresh and changed entries are covered where the search caches its
// probes.
TEST(ProbeCache, ReadsOnlyAnEntryWithTheFilesExactStamp) {
    const std::string key = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe";
    const Bytes time = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    const Bytes later = {0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    for (auto [stamp, read] : {std::pair{later, std::optional<std::string>()}, {time, "1.0.0"}}) {
        test::FakeRegistry registry;
        registry.setBinary(RegistryRoot::CurrentUser, key, "LastWriteTime", stamp);
        registry.setString(RegistryRoot::CurrentUser, key, "Version", "1.0.0");
        EXPECT_EQ(ProbeCache(registry).read("c:\\jre\\bin\\java.exe", 0x01D2C3B4A5968778), read);
    }
}

} // namespace
} // namespace kwn::jvm
