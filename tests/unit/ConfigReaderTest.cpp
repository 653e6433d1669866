#include "config/ConfigReader.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::config {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::ConfigBlockBuilder;
using test::LauncherImage;
using testing::HasSubstr;

const std::u16string kModule = u"C:\\apps\\tool.exe";
const std::u16string kLogFile = u"C:\\Temp\\kwn_nlog_1";

class ConfigReaderTest : public testing::Test {
protected:
    void install(const Bytes& bytes) { fake.files.addFile(kModule, bytes); }
    LauncherImage installBlock(const ConfigBlockBuilder& builder,
                               const test::PeLayout& layout = {}) {
        LauncherImage image = test::buildLauncherImage(builder.build(), layout);
        install(image.bytes);
        return image;
    }
    std::optional<std::string> read() {
        return readConfigBlock(fake.files, kModule, log, block, [this] {
            ++localeCalls;
            return localeName;
        });
    }
    void forceLog() {
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.files.addDirectory(u"C:\\Temp");
        log.setForced(true);
    }
    std::string logText() const { return fake.files.text(kLogFile); }

    test::FakePlatform fake;
    diag::NativeLog log{fake.platform()};
    ConfigBlock block;
    int localeCalls = 0;
    std::string localeName = "en";
};

// The fixed part of a block in front of the narrow entries.
ByteWriter blockHeader() {
    ByteWriter writer;
    writer.u32(kBlockMagic).u32(0).u32(0).i64(0);
    return writer;
}

TEST_F(ConfigReaderTest, ReadsEveryTableAndStopsBehindTheBlock) {
    LauncherImage image = installBlock(ConfigBlockBuilder()
                                           .narrow(103, "error.log")
                                           .narrow(1000, "Error")
                                           .narrow(107, "1")
                                           .wide(1000, u"Fehler"));
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(103), "error.log");
    EXPECT_EQ(block.getString(1000), "Error");
    EXPECT_EQ(block.getInt(107), 1);
    EXPECT_EQ(block.narrowCount(), 3u);
    EXPECT_EQ(block.wideEntry(1000), u"Fehler");
    EXPECT_EQ(block.blockEndPosition(), static_cast<std::int64_t>(image.bytes.size()));
}

TEST_F(ConfigReaderTest, HeaderWalkIsLoggedAndFollowsTheLastSectionEntry) {
    forceLog();
    // The layout of a typical launcher: PE signature at 240, five sections, 224-byte header.
    LauncherImage image = installBlock(
        ConfigBlockBuilder().narrow(101, "App"),
        {.peOffset = 240, .sections = 5, .optionalHeaderSize = 224, .sectionRawSize = 0x2A00});
    ASSERT_EQ(image.lastSectionHeader, 648);
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(101), "App");
    EXPECT_THAT(logText(),
                HasSubstr("\nnumber of sections: 5\nsize of optional headers: 224\n"
                          "resSectionTableStart: 648\nrawDataSize: 10752, rawDataOffset: " +
                          std::to_string(image.lastRawOffset) + "\n"));
}

TEST_F(ConfigReaderTest, HeaderWalkIgnoresEveryEntryButTheLast) {
    LauncherImage image = test::buildLauncherImage(ConfigBlockBuilder().narrow(7, "x").build());
    // Point the first section's raw data far beyond the file: only the last entry counts.
    ByteWriter patched;
    patched.raw(image.bytes);
    std::size_t firstEntry = 0x80 + 24 + 224;
    patched.patchU32(firstEntry + 20, 0x00F00000u);
    install(patched.bytes());
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(7), "x");
}

TEST_F(ConfigReaderTest, EmptyBlockIsValidAndEnds32BytesIn) {
    LauncherImage image = installBlock(ConfigBlockBuilder());
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.narrowCount(), 0u);
    EXPECT_EQ(block.getString(1000), "");
    EXPECT_EQ(block.blockEndPosition(), image.blockStart + 32);
    EXPECT_EQ(localeCalls, 1); // the locale is needed for its own effects even without groups
}

TEST_F(ConfigReaderTest, BlockEndIsBehindTheLastGroupNotTheFile) {
    Bytes blockBytes =
        ConfigBlockBuilder().narrow(1, "a").group("de", {{1000, u"Fehler"}}).group("", {}).build();
    ByteWriter trailer;
    trailer.raw(blockBytes).raw(std::string_view("\xE8\xE4\x13\xD5", 4)).zeros(200);
    LauncherImage image = test::buildLauncherImage(trailer.bytes());
    install(image.bytes);
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.blockEndPosition(),
              image.blockStart + static_cast<std::int64_t>(blockBytes.size()));
}

TEST_F(ConfigReaderTest, DuplicateKeyKeepsTheLaterValue) {
    installBlock(ConfigBlockBuilder().narrow(103, "first.log").narrow(103, "second.log"));
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(103), "second.log");
}

TEST_F(ConfigReaderTest, NarrowValuesAreBytesAndWidenOneToOne) {
    installBlock(ConfigBlockBuilder().narrow(146, "C:\\Caf\xE9"));
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getWString(146), u"C:\\Caf\u00E9");
}

TEST_F(ConfigReaderTest, BlockBeyondTheFirstReadChunkAndValuesAcrossChunks) {
    std::string longValue(100000, 'v');
    longValue.back() = 'z';
    LauncherImage image =
        installBlock(ConfigBlockBuilder().narrow(1, longValue).narrow(2, "tail").wide(3, u"w"),
                     {.sectionRawSize = 70000});
    ASSERT_GT(image.blockStart, 65536 + 60);
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(1, longValue.size() + 1), longValue);
    EXPECT_EQ(block.getString(2), "tail");
    EXPECT_EQ(block.wideEntry(3), u"w");
}

TEST_F(ConfigReaderTest, LocaleIsDetectedOnceAfterTheWideEntries) {
    bool wideSeen = false;
    installBlock(ConfigBlockBuilder().narrow(1, "n").wide(2, u"w").group("xx", {{2, u"g"}}));
    auto failure = readConfigBlock(fake.files, kModule, log, block, [&] {
        ++localeCalls;
        wideSeen = block.wideEntry(2) == u"w";
        return std::string("xx");
    });
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(localeCalls, 1);
    EXPECT_TRUE(wideSeen);
    EXPECT_EQ(block.wideEntry(2), u"g");
}

struct GroupOrderCase {
    const char* name;
    std::vector<std::string> order;
    std::u16string winner;
};

class LocaleGroupTest : public ConfigReaderTest,
                        public testing::WithParamInterface<GroupOrderCase> {};

// Each group names itself in key 1001; key 1002 is set only by "de_AT", key 1003 only by
// groups that must not match.
TEST_P(LocaleGroupTest, MatchingGroupsOverrideInFileOrder) {
    ConfigBlockBuilder builder;
    builder.wide(1001, u"base").wide(1005, u"kept");
    for (const std::string& name : GetParam().order) {
        test::WideEntries entries{{1001, u"group " + test::widen(name)}};
        if (name == "de_AT")
            entries.push_back({1002, u"austria"});
        if (name == "de_CH" || name == "fr")
            entries.push_back({1003, u"wrong"});
        builder.group(name, entries);
    }
    installBlock(builder);
    localeName = "de_AT";
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.wideEntry(1001), GetParam().winner);
    EXPECT_EQ(block.wideEntry(1002), u"austria");
    EXPECT_EQ(block.wideEntry(1003), std::nullopt);
    EXPECT_EQ(block.wideEntry(1005), u"kept");
}

INSTANTIATE_TEST_SUITE_P(
    Orders, LocaleGroupTest,
    testing::Values(GroupOrderCase{"EmptyNameLast", {"de", "de_AT", "", "de_CH", "fr"}, u"group "},
                    GroupOrderCase{"LanguageLast", {"fr", "de_CH", "", "de_AT", "de"}, u"group de"},
                    GroupOrderCase{
                        "CountryLast", {"", "de", "fr", "de_AT", "de_CH"}, u"group de_AT"}),
    [](const auto& info) { return info.param.name; });

TEST_F(ConfigReaderTest, UnopenableFileAsksToMoveItAndLogsThePath) {
    forceLog();
    EXPECT_EQ(read(), "Error opening media file. Please move this file to an ascii-only path "
                      "like c:\\");
    EXPECT_THAT(logText(), HasSubstr("\nERROR: Could not open C:\\apps\\tool.exe\n"));
    EXPECT_EQ(localeCalls, 0);
}

TEST_F(ConfigReaderTest, WrongMagicIsRejected) {
    installBlock(ConfigBlockBuilder().magic(0xE9E413D5u).narrow(1, "x")); // D5 13 E4 E9
    EXPECT_EQ(read(), "Internal Error: magic");
    EXPECT_EQ(block.narrowCount(), 0u);
}

// A launcher file cut at an offset fails with the primitive that met the end.
struct CutCase {
    const char* name;
    std::int64_t offset; // from the block's start; negative values count from the image start
    const char* failure;
    const char* logLine; // expected in the log, or nullptr
};

class TruncatedFileTest : public ConfigReaderTest, public testing::WithParamInterface<CutCase> {};

// Block offsets: 0 magic, 12 long, 20 N, 24 key, 28 length, 32 "error.log", 41 W, 45 key,
// 49 length, 53 "Fehler" (12 bytes), 65 G, 69 name length, 73 "de", 75 E, 79 key, 83 length,
// 87 "x" (2 bytes), 89 end.
TEST_P(TruncatedFileTest, FailsWithTheReadingPrimitive) {
    forceLog();
    LauncherImage image = test::buildLauncherImage(ConfigBlockBuilder()
                                                       .narrow(103, "error.log")
                                                       .wide(1000, u"Fehler")
                                                       .group("de", {{1001, u"x"}})
                                                       .build());
    ASSERT_EQ(image.bytes.size() - image.blockStart, 89u);
    std::int64_t at =
        GetParam().offset >= 0 ? image.blockStart + GetParam().offset : -GetParam().offset;
    install(test::cut(image.bytes, at));
    localeName = "de";
    EXPECT_EQ(read(), GetParam().failure);
    if (GetParam().logLine) {
        EXPECT_THAT(logText(), HasSubstr(std::string("\n") + GetParam().logLine));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, TruncatedFileTest,
    testing::Values(
        CutCase{"InPeOffset", -62, "Internal Error: readInt", "error 0 2\n\n"},
        CutCase{"InSectionCount", -(0x80 + 7), "Internal Error: readShort", "error 0\n\n"},
        CutCase{"InOptionalHeaderSize", -(0x80 + 21), "Internal Error: readShort", nullptr},
        CutCase{"InRawDataSize", -(0x80 + 24 + 224 + 80 + 18), "Internal Error: readInt",
                "error 0 2\n\n"},
        CutCase{"BareStub", 0, "Internal Error: readInt", "error 0 0\n\n"},
        CutCase{"InMagic", 2, "Internal Error: readInt", "error 0 2\n\n"},
        CutCase{"InHeaderWord", 9, "Internal Error: readInt", "error 0 1\n\n"},
        CutCase{"InLong", 14, "Internal Error: readLong", "error 0\n\n"},
        CutCase{"InNarrowCount", 21, "Internal Error: readInt", nullptr},
        CutCase{"InNarrowKey", 26, "Internal Error: readInt", nullptr},
        CutCase{"InNarrowLength", 30, "Internal Error: readString", nullptr},
        CutCase{"InNarrowValue", 36, "Internal Error: readString", nullptr},
        CutCase{"BeforeWideCount", 41, "Internal Error: readInt", "error 0 0\n\n"},
        CutCase{"InWideValue", 55, "Internal Error: readWString", nullptr},
        CutCase{"InGroupCount", 66, "Internal Error: readInt", nullptr},
        CutCase{"InGroupName", 74, "Internal Error: readString", nullptr},
        CutCase{"InGroupEntryCount", 77, "Internal Error: readInt", nullptr},
        CutCase{"InGroupValue", 88, "Internal Error: readWString", nullptr}),
    [](const auto& info) { return info.param.name; });

// Lengths the build tool never writes fail as the string read that met them.
struct LengthCase {
    const char* name;
    bool wideEntry;
    std::int32_t length;
    const char* failure;
};

class BadLengthTest : public ConfigReaderTest, public testing::WithParamInterface<LengthCase> {};

TEST_P(BadLengthTest, FailsAsTheStringRead) {
    ByteWriter writer = blockHeader();
    if (GetParam().wideEntry)
        writer.i32(0).i32(1);
    else
        writer.i32(1);
    writer.i32(103).i32(GetParam().length).raw("abcdefgh").i32(0).i32(0).i32(0);
    install(test::buildLauncherImage(writer.bytes()).bytes);
    EXPECT_EQ(read(), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, BadLengthTest,
    testing::Values(LengthCase{"NarrowNegative", false, -1, "Internal Error: readString"},
                    LengthCase{"NarrowMostNegative", false, INT32_MIN,
                               "Internal Error: readString"},
                    LengthCase{"NarrowPastTheEnd", false, 100000, "Internal Error: readString"},
                    LengthCase{"NarrowHuge", false, INT32_MAX, "Internal Error: readString"},
                    LengthCase{"WideOdd", true, 3, "Internal Error: readWString"},
                    LengthCase{"WideNegative", true, -2, "Internal Error: readWString"},
                    LengthCase{"WidePastTheEnd", true, 100000, "Internal Error: readWString"}),
    [](const auto& info) { return info.param.name; });

TEST_F(ConfigReaderTest, NegativeGroupNameLengthFailsAsReadString) {
    ByteWriter writer = blockHeader();
    writer.i32(0).i32(0).i32(1).i32(-5).i32(0);
    install(test::buildLauncherImage(writer.bytes()).bytes);
    EXPECT_EQ(read(), "Internal Error: readString");
}

TEST_F(ConfigReaderTest, LengthsThatFitAreAccepted) {
    ByteWriter writer = blockHeader();
    writer.i32(2).i32(1).i32(0).i32(2).i32(8).raw("abcdefgh");
    writer.i32(1).i32(3).i32(0).i32(0);
    LauncherImage image = test::buildLauncherImage(writer.bytes());
    install(image.bytes);
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(block.getString(2), "abcdefgh");
    EXPECT_EQ(block.wideEntry(3), u"");
    EXPECT_EQ(block.blockEndPosition(), static_cast<std::int64_t>(image.bytes.size()));
}

TEST_F(ConfigReaderTest, FailedReadLogsTheSystemError) {
    forceLog();
    install(test::buildLauncherImage(ConfigBlockBuilder().build()).bytes);
    fake.files.files[kModule].readFailure = test::ReadFailure{0, 23};
    EXPECT_EQ(read(), "Internal Error: readInt");
    EXPECT_THAT(logText(), HasSubstr("\nerror 23 0\n\n"));
}

TEST_F(ConfigReaderTest, FailedReadAfterTheFirstChunkIsStillAFailure) {
    forceLog();
    install(test::buildLauncherImage(ConfigBlockBuilder().narrow(1, "x").build(),
                                     {.sectionRawSize = 70000})
                .bytes);
    fake.files.files[kModule].readFailure = test::ReadFailure{1, 23};
    EXPECT_EQ(read(), "Internal Error: readInt");
    EXPECT_THAT(logText(), HasSubstr("\nrawDataSize: 70000, rawDataOffset: "));
    EXPECT_THAT(logText(), HasSubstr("\nerror 23 0\n\n"));
}

} // namespace
} // namespace kwn::config
