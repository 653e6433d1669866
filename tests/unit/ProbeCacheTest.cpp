#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using Bytes = std::vector<unsigned char>;

const std::string kExe = "c:\\program files\\java\\jre7\\bin\\java.exe";
const std::string kKey =
    "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/program files/java/jre7/bin/java.exe";
constexpr std::uint64_t kStamp = 0x01D2C3B4A5968778;
const Bytes kStampBytes = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};

TEST(ProbeCache, WritesTheStampLowByteFirstAndTheVersionWithoutItsZero) {
    test::FakeRegistry registry;
    ProbeCache(registry).write(kExe, kStamp, "1.8.0_20");
    auto stamp = registry.value(RegistryRoot::CurrentUser, kKey, "LastWriteTime");
    auto version = registry.value(RegistryRoot::CurrentUser, kKey, "Version");
    ASSERT_TRUE(stamp && version);
    EXPECT_EQ(stamp->data, kStampBytes);
    EXPECT_FALSE(stamp->isString);
    EXPECT_EQ(std::string(version->data.begin(), version->data.end()), "1.8.0_20");
    EXPECT_TRUE(version->isString);
    registry.keys.clear();
    registry.failCreate = true; // a cache that cannot be written costs only a probe
    ProbeCache(registry).write(kExe, kStamp, "1.8.0_20");
    EXPECT_FALSE(registry.hasKey(RegistryRoot::CurrentUser, kKey));
}

// Only the user's entry with the file's stamp, byte for byte, is believed; a bare family
// prefix is distrusted, the failure marker is the caller's business.
TEST(ProbeCache, ReadsOnlyAnEntryWithTheFilesExactStamp) {
    const Bytes later = {0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};
    const Bytes longer = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01, 0};
    const Bytes bigEndian = {0x01, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87, 0x78};
    struct Case {
        Bytes stamp;
        const char* stored; // nullptr: no version
        std::optional<std::string> read;
        bool withZero = false;
        RegistryRoot root = RegistryRoot::CurrentUser;
    } const cases[] = {
        {kStampBytes, "1.8.0_20", "1.8.0_20"},
        {kStampBytes, "1.8.0_20", "1.8.0_20", true},
        {{0x78, 0x87, 0x96, 0xA5}, "1.8.0_20", {}},
        {longer, "1.8.0_20", {}},
        {bigEndian, "1.8.0_20", {}},
        {later, "1.8.0_20", {}},
        {{}, "1.8.0_20", {}},
        {kStampBytes, nullptr, {}},
        {kStampBytes, "1.8.0_20", {}, false, RegistryRoot::LocalMachine},
        {kStampBytes, "1.6.", {}},
        {kStampBytes, "1.7.", {}},
        {kStampBytes, "1.5.", {}},
        {kStampBytes, "1.6", "1.6"},
        {kStampBytes, "1.0.0", "1.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored ? c.stored : "none") + " " +
                     std::to_string(c.stamp.size()));
        test::FakeRegistry registry;
        registry.addKey(c.root, kKey);
        if (!c.stamp.empty())
            registry.setBinary(c.root, kKey, "LastWriteTime", c.stamp);
        if (c.stored)
            registry.setString(c.root, kKey, "Version", c.stored, {}, c.withZero);
        EXPECT_EQ(ProbeCache(registry).read(kExe, kStamp), c.read);
    }
}

} // namespace
} // namespace kwn::jvm
