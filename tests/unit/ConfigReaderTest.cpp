#include "config/ConfigReader.h"
#include "config/LocaleDetection.h"

#include "fake/LauncherImage.h"
#include "fake/LoggedLaunchTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <span>

namespace kwn::config {
namespace {

using test::Bytes;

const std::u16string kModule = u"C:\\apps\\tool.exe";

// Bulk copies take what the buffer holds, else read the file directly, from any position.
TEST(BlockFileTest, ReadUpToStartsWhereverTheReaderStands) {
    Bytes content(300000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<unsigned char>(i % 251);
    test::LoggedLaunch run;
    for (std::int64_t at : {10, 65536 + 10, 250000}) {
        test::FakeReadableFile file({content, {}});
        BlockFile block(file, run.ctx.log);
        block.readInt(); // the buffer now holds the start of the file
        block.seek(at);
        Bytes piece(100);
        EXPECT_EQ(block.readUpTo(piece.data(), 100).bytesRead, 100u);
        EXPECT_EQ(piece, Bytes(content.begin() + at, content.begin() + at + 100)) << at;
        EXPECT_EQ(block.readInt() & 0xFF, content[static_cast<std::size_t>(at) + 100]);
    }
    // Bytes the buffer holds cost no read call.
    test::FakeReadableFile once({content, test::ReadFailure{1, 5}});
    BlockFile buffered(once, run.ctx.log);
    buffered.readInt();
    buffered.seek(0);
    EXPECT_EQ(buffered.readInt(), 0x03020100);
}

// A failed read gives zero or empty and names its primitive. It is final: from any position,
// every read after it gives nothing, and the first failure's text stays.
TEST(BlockFileTest, AFailedReadGivesNothingAndIsFinal) {
    test::LoggedLaunch run;
    // clang-format off
    const std::pair<std::string, std::function<bool(BlockFile&)>> reads[] = {
        {"readShort", [](BlockFile& f) { return f.readShort() == 0; }}, {"readInt", [](BlockFile& f) { return f.readInt() == 0; }},
        {"readLong", [](BlockFile& f) { return f.readLong() == 0; }}, {"readString", [](BlockFile& f) { return f.readString().empty(); }},
        {"readWString", [](BlockFile& f) { return f.readWString().empty(); }},
        {"readUpTo", [](BlockFile& f) { char c; auto got = f.readUpTo(&c, 1); return std::tuple(got.ok, got.bytesRead, got.error) == std::tuple(false, 0u, 0u); }}};
    // clang-format on
    for (const auto& [name, gaveNothing] : std::span(reads).first(5)) {
        test::FakeReadableFile file({Bytes(16, 7), {}});
        BlockFile block(file, run.ctx.log);
        block.seek(16);
        EXPECT_TRUE(gaveNothing(block)) << name;
        block.seek(0); // where every read would succeed
        for (const auto& [other, givesNothing] : reads)
            EXPECT_TRUE(givesNothing(block)) << name << " then " << other;
        EXPECT_STREQ(block.failure(), ("Internal Error: " + name).c_str());
    }
}

TEST(ConfigGetters, IntAndColorReadLeadingNumbersAsAtoiDoes) {
    // clang-format off
    const std::tuple<const char*, std::int32_t, std::uint32_t> cases[] = {
        {"12abc", 12, 12}, {"abc", 0, 0}, {"\t\n +7", 7, 7}, {"+-3", 0, 0}, {"0x10", 0, 0},
        {"2147483648", 2147483647, 0xFF}, {"-99999999999", INT32_MIN, 0}, {"", 0, 0},
        {"255,128,0", 255, 0x0080FF}, {"255,,7", 255, 0x0007FF}, {"300,1", 300, 0x012C},
        {"1,2,3,4", 1, 0x030201}, {",,,5", 0, 5}, {"-1,0,0", -1, 0xFF}, {" 1, 2, 3", 1, 0x030201},
        {"1,2,", 1, 0x0201}};
    // clang-format on
    for (const auto& [text, number, color] : cases) {
        ConfigBlock block;
        block.setNarrow(7, text);
        EXPECT_EQ(std::pair(block.getInt(7), block.getColor(7)), std::pair(number, color)) << text;
    }
}

// One read of a launcher file, with the user's locale de_AT.
struct Reading : test::LoggedLaunch {
    explicit Reading(const Bytes& file, std::optional<test::ReadFailure> failure = {}) {
        if (!file.empty())
            fake.files.addFile(kModule, file);
        if (failure)
            fake.files.files[kModule].readFailure = failure;
        result = readConfigBlock(fake.files, kModule, ctx.log, block, [] { return "de_AT"; });
    }
    ConfigBlock block;
    std::optional<std::string> result;
};

// Later entries replace earlier ones; groups whose name starts the locale name apply in order.
TEST(ConfigReading, ReadsEveryTableAndStopsBehindTheBlock) {
    const std::string longValue = std::string(99999, 'v') + "z"; // read across chunks
    // clang-format off
    const Bytes block = test::ConfigBlock{.narrow = {{103, "first.log"}, {103, "error.log"}, {1, longValue}},
        .wide = {{1000, u"Fehler"}, {3, u""}}, .groups = {{"fr", {{1001, u"fr"}, {1002, u"fr"}}}, {"de", {{1001, u"de"}}},
        {"de_AT", {{1001, u"de_AT"}}}, {"", {{1003, u"all"}}}, {"de_CH", {{1001, u"de_CH"}}}}}.build();
    // clang-format on
    test::LauncherImage image =
        test::buildLauncherImage(test::ByteWriter().raw(block).u32(kBlockMagic).zeros(200).bytes(),
                                 {.peOffset = 240, .sections = 5, .sectionRawSize = 70000});
    Reading r(image.bytes);
    // clang-format off
    EXPECT_EQ(std::tuple(r.result, r.block.narrowCount(), r.block.getString(103), r.block.getString(1, 100001)),
              std::tuple(std::nullopt, 2u, "error.log", longValue));
    EXPECT_EQ(std::tuple(r.block.wideEntry(1000), r.block.wideEntry(3), r.block.wideEntry(1001), r.block.wideEntry(1002),
                         r.block.wideEntry(1003)), std::tuple(u"Fehler", u"", u"de_AT", std::nullopt, u"all"));
    // clang-format on
    // Messages in the user's language come from the matching groups only.
    EXPECT_EQ(std::tuple(r.block.localizedText(1000), r.block.localizedText(1001),
                         r.block.localizedText(1003)),
              std::tuple(std::nullopt, u"de_AT", u"all"));
    EXPECT_EQ(r.block.blockEndPosition(), image.blockStart + std::ssize(block));
    EXPECT_THAT(r.logText(),
                testing::HasSubstr("\nsize of optional headers: 224\nresSectionTableStart: 648\n"
                                   "rawDataSize: 70000, rawDataOffset: 281024\n"));
}
TEST(ConfigReading, DamageFailsAsThePrimitiveThatMetIt) {
    // The image's bytes and where its block starts. Block offsets: 14 the long, 36 the narrow
    // value, 55 the wide value, 74 the group name.
    // clang-format off
    const auto& [g, b] = test::buildLauncherImage(test::ConfigBlock{.narrow = {{103, "error.log"}},
        .wide = {{1000, u"Fehler"}}, .groups = {{"de", {{1001, u"x"}}}}}.build());
    // clang-format on
    const char* const kInt = "Internal Error: readInt";
    // A count the file cannot hold ends at the first missing entry, not after 2^31 empty ones.
    auto counted = [](std::vector<std::int32_t> counts) {
        test::ByteWriter block;
        block.u32(kBlockMagic).u32(0).u32(0).i64(0);
        for (std::int32_t count : counts)
            block.i32(count);
        return test::buildLauncherImage(block.bytes()).bytes;
    };
    // clang-format off
    const std::tuple<Bytes, const char*, const char*, std::optional<test::ReadFailure>> cases[] = {
        {{}, "Error opening media file. Please move this file to an ascii-only path like c:\\",
         "ERROR: Could not open C:\\apps\\tool.exe\n", {}},
        {test::buildLauncherImage(test::ConfigBlock{.magic = 0xE9E413D5u}.build()).bytes, "Internal Error: magic", "", {}},
        {test::cut(g, 62), kInt, "error 0 2\n\n", {}}, {test::cut(g, 0x87), "Internal Error: readShort", "error 0\n\n", {}},
        {test::cut(g, b), kInt, "error 0 0\n\n", {}}, {test::cut(g, b + 14), "Internal Error: readLong", "", {}},
        {test::cut(g, b + 36), "Internal Error: readString", "", {}}, {test::cut(g, b + 55), "Internal Error: readWString", "", {}},
        {g, kInt, "error 23 0\n\n", test::ReadFailure{0, 23}},
        // A read error inside a long value fails as the read of that value.
        {test::buildLauncherImage(test::ConfigBlock{.narrow = {{1, std::string(70000, 'v')}}}.build()).bytes,
         "Internal Error: readString", "", test::ReadFailure{1, 5}},
        {test::buildLauncherImage(test::ConfigBlock{.wide = {{1, std::u16string(40000, u'w')}}}.build()).bytes,
         "Internal Error: readWString", "", test::ReadFailure{1, 5}},
        {counted({INT32_MAX}), kInt, "error 0 0\n\n", {}}, {counted({0, INT32_MAX}), kInt, "error 0 0\n\n", {}},
        {counted({0, 0, INT32_MAX}), "Internal Error: readString", "", {}},
        {counted({0, 0, 1, 0, INT32_MAX}), kInt, "error 0 0\n\n", {}}};
    // clang-format on
    for (const auto& [file, failure, logLine, readFailure] : cases) {
        Reading r(file, readFailure);
        EXPECT_EQ(r.result, failure);
        EXPECT_THAT(r.logText(), testing::HasSubstr(std::string("\n") + logLine)) << failure;
    }
}

// The table is ascending; a full identifier names its primary language unless known otherwise.
TEST(LocaleTable, RowsAscendAndFullIdentifiersAgreeWithTheirLanguage) {
    std::span<const LocaleRow> table = localeTable();
    ASSERT_EQ(table.size(), 215u);
    EXPECT_EQ(std::tuple(table[70].languageId, table[71].languageId), std::tuple(0x56, 0x0401));
    for (size_t i = 1; i < table.size(); ++i)
        EXPECT_LT(table[i - 1].languageId, table[i].languageId) << table[i].name;
    for (const LocaleRow& row : table.subspan(71)) {
        if (row.languageId != 0x041A && row.languageId != 0x083C) {
            EXPECT_EQ(std::string(row.name, 2), localeNameFor(row.languageId & 0x3FF)) << row.name;
        }
    }
}

// A name comes from the low word of the user's locale, or from the user interface language
// when the last format switch turned the regional format off. Full identifiers fall back to
// their primary language, then to "en".
TEST(LocaleTable, DetectionNamesTheLocaleAndSplitsItIntoParts) {
    const std::vector<std::u16string> none, off = {u"-Dsun.locale.formatasdefault=false"};
    // clang-format off
    const std::tuple<const std::vector<std::u16string>*, std::uint32_t, std::optional<std::uint16_t>, const char*, const char*> cases[] = {
        {nullptr, 0x0807, 0x040C, "de_CH", "CH"}, {&none, 0x10C07, 0x040C, "de_AT", "AT"},
        {&off, 0x0807, 0x040C, "fr_FR", "FR"}, {&off, 0x0807, std::nullopt, "de_CH", "CH"},
        {&off, 0x0409, 0x0827, "lt", nullptr}, {nullptr, 0x0428, {}, "en", nullptr}, {nullptr, 0x0000, {}, "en", nullptr},
        {nullptr, 0xFFFF, {}, "en", nullptr}, {nullptr, 0x0814, {}, "no_NO_NY", nullptr}, {nullptr, 0x040D, {}, "iw_IL", "IL"},
        {nullptr, 0x041A, {}, "hr_HR", "HR"}, {nullptr, 0x081A, {}, "sr_CS", "CS"}, {nullptr, 0x083C, {}, "ga_IE", "IE"},
        {nullptr, 0x0431, {}, "ts", nullptr}, {nullptr, 0x2409, {}, "en", nullptr}, {nullptr, 0x500A, {}, "es_PR", "PR"},
        {nullptr, 0x7C04, {}, "zh", nullptr}, {nullptr, 0x0456, {}, "gl_ES", "ES"}, {nullptr, 0x0856, {}, "gl", nullptr}};
    // clang-format on
    for (const auto& [arguments, lcid, ui, name, country] : cases) {
        test::FakePlatform fake;
        fake.system.lcid = lcid;
        fake.system.uiLanguage = ui;
        diag::NativeLog log(fake.platform());
        Locale locale = detectLocale(arguments, fake.system, log);
        std::string language = "unchanged", part = "unchanged";
        EXPECT_EQ(std::tuple(locale.localeName(), locale.localeLanguage(language), language,
                             locale.localeCountry(part), part),
                  std::tuple(name, true, std::string(name, 2), country != nullptr,
                             country ? country : "unchanged"));
    }
}

} // namespace
} // namespace kwn::config
