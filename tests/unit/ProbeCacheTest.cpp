#include "jvm/ProbeCache.h"

#include "fake/FakeRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::jvm {
namespace {

using platform::RegistryRoot;
using testing::ElementsAre;

const std::string kExe = "c:\\program files\\java\\jre7\\bin\\java.exe";
const std::string kKey =
    "SOFTWARE\\corvane-systems\\qelvo\\jvms\\c:/program files/java/jre7/bin/java.exe";
constexpr std::uint64_t kStamp = 0x01D2C3B4A5968778;
const std::vector<unsigned char> kStampBytes = {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01};

class ProbeCacheTest : public testing::Test {
protected:
    void store(const std::string& version, bool withZero = false,
               std::vector<unsigned char> stamp = kStampBytes) {
        registry.setBinary(RegistryRoot::CurrentUser, kKey, "LastWriteTime", std::move(stamp));
        registry.setString(RegistryRoot::CurrentUser, kKey, "Version", version,
                           platform::RegistryView::Default, withZero);
    }

    test::FakeRegistry registry;
    ProbeCache cache{registry};
};

TEST_F(ProbeCacheTest, OneKeyPerExecutableWithSlashesForBackslashes) {
    EXPECT_EQ(probeCacheKey(kExe), kKey);
    cache.write(kExe, kStamp, "1.7.0_21");
    std::uint32_t error = 0;
    auto jvms = registry.open(RegistryRoot::CurrentUser, "SOFTWARE\\corvane-systems\\qelvo\\jvms",
                              platform::RegistryView::Default, error);
    ASSERT_TRUE(jvms);
    EXPECT_THAT(jvms->subkeyNames(), ElementsAre("c:/program files/java/jre7/bin/java.exe"));
    EXPECT_FALSE(registry.hasKey(RegistryRoot::LocalMachine, kKey));
}

TEST_F(ProbeCacheTest, WritesALittleEndianStampAndTheVersionWithoutItsZero) {
    cache.write(kExe, kStamp, "1.8.0_20");
    auto stamp = registry.value(RegistryRoot::CurrentUser, kKey, "LastWriteTime");
    auto version = registry.value(RegistryRoot::CurrentUser, kKey, "Version");
    ASSERT_TRUE(stamp && version);
    EXPECT_EQ(stamp->data, kStampBytes);
    EXPECT_FALSE(stamp->isString);
    EXPECT_EQ(version->data, std::vector<unsigned char>({'1', '.', '8', '.', '0', '_', '2', '0'}));
    EXPECT_TRUE(version->isString);
    EXPECT_EQ(cache.read(kExe, kStamp), "1.8.0_20");
}

TEST_F(ProbeCacheTest, VersionReadsTheSameWithOrWithoutATerminatingZero) {
    for (bool withZero : {false, true}) {
        SCOPED_TRACE(withZero ? "with zero" : "without zero");
        store("1.8.0_20", withZero);
        EXPECT_EQ(cache.read(kExe, kStamp), "1.8.0_20");
    }
}

TEST_F(ProbeCacheTest, OnlyAnEightByteStampEqualToTheFilesTimeValidatesTheEntry) {
    struct Case {
        const char* name;
        std::vector<unsigned char> stamp;
        bool valid;
    };
    const Case cases[] = {
        {"equal", kStampBytes, true},
        {"four bytes", {0x78, 0x87, 0x96, 0xA5}, false},
        {"nine bytes", {0x78, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01, 0x00}, false},
        {"big-endian", {0x01, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87, 0x78}, false},
        {"one tick later", {0x79, 0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0x01}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store("1.8.0_20", false, c.stamp);
        EXPECT_EQ(cache.read(kExe, kStamp).has_value(), c.valid);
    }
}

TEST_F(ProbeCacheTest, BareFamilyVersionsAreNoEntryButEverythingElseIsReturned) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"1.6.", std::nullopt},   {"1.7.", std::nullopt}, {"1.5.", std::nullopt},
        {"1.6.0_45", "1.6.0_45"}, {"1.6", "1.6"},         {"", ""},
        {"1.0.0", "1.0.0"}, // the caller decides to probe again
    };
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored);
        store(stored);
        EXPECT_EQ(cache.read(kExe, kStamp), expected);
    }
}

TEST_F(ProbeCacheTest, MissingKeyOrVersionIsNoEntry) {
    EXPECT_EQ(cache.read(kExe, kStamp), std::nullopt);
    registry.setBinary(RegistryRoot::CurrentUser, kKey, "LastWriteTime", kStampBytes);
    EXPECT_EQ(cache.read(kExe, kStamp), std::nullopt);
}

TEST_F(ProbeCacheTest, OnlyTheCurrentUsersEntriesCount) {
    registry.setBinary(RegistryRoot::LocalMachine, kKey, "LastWriteTime", kStampBytes);
    registry.setString(RegistryRoot::LocalMachine, kKey, "Version", "1.8.0_20");
    EXPECT_EQ(cache.read(kExe, kStamp), std::nullopt);
}

TEST_F(ProbeCacheTest, AKeyThatCannotBeCreatedIsSkipped) {
    registry.failCreate = true;
    cache.write(kExe, kStamp, "1.8.0_20");
    EXPECT_FALSE(registry.hasKey(RegistryRoot::CurrentUser, kKey));
}

} // namespace
} // namespace kwn::jvm
