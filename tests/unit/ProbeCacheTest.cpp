#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using Bytes = std::vector<unsigned char>;

// The file's time is stored low byte first and must be equal byte for byte; a bare family
// prefix such as "1.6." is no version a probe prints, so it is probed again. The failure marker
// is the caller's to judge. Fresh and changed entries are covered where the search caches its
// probes.
TEST(ProbeCache, ReadsOnlyAnEntryWithTheFilesExactStamp) {
    const std::string key = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/jre/bin/java.exe";
    const Bytes time = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    const Bytes later = {0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    const std::optional<std::string> none;
    const std::tuple<Bytes, std::string, std::optional<std::string>> rows[] = {
        {later, "1.0.0", none}, {time, "1.0.0", "1.0.0"}, {time, "1.6.", none}};
    for (const auto& [stamp, stored, read] : rows) {
        test::FakeRegistry registry;
        registry.setBinary(RegistryRoot::CurrentUser, key, "LastWriteTime", stamp);
        registry.setString(RegistryRoot::CurrentUser, key, "Version", stored);
        EXPECT_EQ(ProbeCache(registry).read("c:\\jre\\bin\\java.exe", 0x01D2C3B4A5968778), read)
            << stored;
    }
}

} // namespace
} // namespace kwn::jvm
