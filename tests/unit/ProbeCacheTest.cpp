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
    EXPECT_EQ(version->data, Bytes({'1', '.', '8', '.', '0', '_', '2', '0'}));
    EXPECT_TRUE(version->isString);

    test::FakeRegistry readOnly;
    readOnly.failCreate = true; // a cache that cannot be written costs only a probe
    ProbeCache(readOnly).write(kExe, kStamp, "1.8.0_20");
    EXPECT_FALSE(readOnly.hasKey(RegistryRoot::CurrentUser, kKey));
}

TEST(ProbeCache, OnlyTheUsersEntryWithTheFilesExactStampCounts) {
    struct Case {
        const char* name;
        std::optional<Bytes> stamp; // nullopt: no value
        std::optional<std::string> stored;
        std::optional<std::string> read;
        bool withZero = false;
        RegistryRoot root = RegistryRoot::CurrentUser;
    };
    const Case cases[] = {
        {"equal", kStampBytes, "1.8.0_20", "1.8.0_20"},
        {"zero-terminated", kStampBytes, "1.8.0_20", "1.8.0_20", true},
        {"four bytes", Bytes{0x78, 0x87, 0x96, 0xA5}, "1.8.0_20", std::nullopt},
        {"nine bytes", Bytes{0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01, 0}, "1.8.0_20", {}},
        {"big-endian", Bytes{0x01, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87, 0x78}, "1.8.0_20", {}},
        {"one tick later", Bytes{0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01}, "1.8", {}},
        {"no stamp", std::nullopt, "1.8.0_20", std::nullopt},
        {"no version", kStampBytes, std::nullopt, std::nullopt},
        {"machine's", kStampBytes, "1.8.0_20", std::nullopt, false, RegistryRoot::LocalMachine},
        // A bare family prefix is distrusted; the failure marker is the caller's business.
        {"1.6.", kStampBytes, "1.6.", std::nullopt},
        {"1.7.", kStampBytes, "1.7.", std::nullopt},
        {"1.5.", kStampBytes, "1.5.", std::nullopt},
        {"1.6", kStampBytes, "1.6", "1.6"},
        {"1.0.0", kStampBytes, "1.0.0", "1.0.0"},
        {"empty", kStampBytes, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeRegistry registry;
        registry.addKey(c.root, kKey);
        if (c.stamp)
            registry.setBinary(c.root, kKey, "LastWriteTime", *c.stamp);
        if (c.stored)
            registry.setString(c.root, kKey, "Version", *c.stored, {}, c.withZero);
        EXPECT_EQ(ProbeCache(registry).read(kExe, kStamp), c.read);
    }
}

} // namespace
} // namespace kwn::jvm
