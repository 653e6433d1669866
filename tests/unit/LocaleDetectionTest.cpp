#include "config/LocaleDetection.h"

#include "fake/FakePlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace kwn::config {
namespace {

using testing::HasSubstr;
using testing::Not;

TEST(LocaleName, IdentifiersMapThroughTheTable) {
    struct Case {
        std::uint16_t id;
        const char* name;
    };
    const Case cases[] = {
        {0x0807, "de_CH"}, {0x0C07, "de_AT"},    {0x0827, "lt"},    {0x0428, "en"},
        {0x0028, "en"},    {0x0814, "no_NO_NY"}, {0x040D, "iw_IL"}, {0x0421, "in_ID"},
        {0x041A, "hr_HR"}, {0x001A, "sr"},       {0x081A, "sr_CS"}, {0x083C, "ga_IE"},
        {0x043C, "gd_GB"}, {0x0431, "ts"},       {0x2409, "en"},    {0x0409, "en_US"},
        {0x0C0A, "es_ES"}, {0x500A, "es_PR"},    {0x0000, "en"},    {0xFFFF, "en"},
        {0x7C04, "zh"},    {0x0456, "gl_ES"},    {0x0856, "gl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(localeNameFor(c.id), c.name);
    }
}

TEST(LocaleName, LanguageAndCountryParts) {
    struct Case {
        const char* name;
        const char* language;
        const char* country; // nullptr: not set
    };
    const Case cases[] = {
        {"de_CH", "de", "CH"}, {"lt", "lt", nullptr},       {"en", "en", nullptr},
        {"ts", "ts", nullptr}, {"no_NO_NY", "no", nullptr}, {"iw_IL", "iw", "IL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Locale locale{std::string(c.name)};
        std::string language = "unchanged";
        std::string country = "unchanged";
        EXPECT_TRUE(locale.localeLanguage(language));
        EXPECT_EQ(language, c.language);
        EXPECT_EQ(locale.localeCountry(country), c.country != nullptr);
        EXPECT_EQ(country, c.country ? c.country : "unchanged");
    }
}

TEST(LocaleName, NamesHoldAtMostEightCharacters) {
    EXPECT_EQ(Locale("no_NO_NY_x").localeName(), "no_NO_NY");
    EXPECT_EQ(Locale().localeName(), "en");
}

TEST(LocaleTable, Holds215AscendingUniqueRowsWithBareLanguagesFirst) {
    std::span<const LocaleRow> table = localeTable();
    ASSERT_EQ(table.size(), 215u);
    for (size_t i = 1; i < table.size(); ++i)
        EXPECT_LT(table[i - 1].languageId, table[i].languageId) << "row " << i;
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].name);
        std::string name = table[i].name;
        if (i < 71) {
            EXPECT_GE(table[i].languageId, 0x01);
            EXPECT_LE(table[i].languageId, 0x56);
            EXPECT_EQ(name.size(), 2u);
        } else {
            EXPECT_GT(table[i].languageId, 0x3FF);
            EXPECT_TRUE(name.size() == 2 || name.size() == 5 || name == "no_NO_NY");
            if (name.size() >= 5) {
                EXPECT_EQ(name[2], '_');
            }
        }
    }
    EXPECT_EQ(table[70].languageId, 0x56);
    EXPECT_EQ(table[71].languageId, 0x0401);
    EXPECT_EQ(table[214].languageId, 0x500A);
}

TEST(LocaleTable, FullRowsAgreeWithTheirLanguageExceptTheKnownOnes) {
    // Where a full identifier's language differs from its primary language's row, it is on
    // purpose; anything else would be a typing error in the table.
    const std::set<std::uint16_t> exceptions = {0x041A, 0x083C};
    for (const LocaleRow& row : localeTable()) {
        if (row.languageId <= 0x3FF || exceptions.contains(row.languageId))
            continue;
        SCOPED_TRACE(row.name);
        EXPECT_EQ(std::string(row.name).substr(0, 2), localeNameFor(row.languageId & 0x3FF));
    }
}

class DetectLocaleTest : public testing::Test {
protected:
    Locale detect(const std::vector<std::u16string>* arguments) {
        return detectLocale(arguments, fake.system, log);
    }
    std::string logText() const { return fake.files.text(u"C:\\Temp\\kwn_nlog_1"); }

    void SetUp() override {
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.files.addDirectory(u"C:\\Temp");
        log.setForced(true);
    }

    test::FakePlatform fake;
    diag::NativeLog log{fake.platform()};
};

TEST_F(DetectLocaleTest, UsesTheLowWordOfTheUserLocale) {
    fake.system.lcid = 0x00010C07; // a sort identifier in the high word
    std::vector<std::u16string> arguments{u"tool.exe"};
    EXPECT_EQ(detect(&arguments).localeName(), "de_AT");
    EXPECT_THAT(logText(), HasSubstr("\nsun.locale.formatasdefault is true\n"
                                     "language/country is de_AT\n"));
}

TEST_F(DetectLocaleTest, NoArgumentListKeepsTheRegionalFormatWithoutLoggingTheFlag) {
    fake.system.lcid = 0x0807;
    fake.system.uiLanguage = 0x0409;
    EXPECT_EQ(detect(nullptr).localeName(), "de_CH");
    EXPECT_THAT(logText(), Not(HasSubstr("formatasdefault")));
    EXPECT_THAT(logText(), HasSubstr("\nlanguage/country is de_CH\n"));
}

TEST_F(DetectLocaleTest, EmptyArgumentListLogsTrue) {
    std::vector<std::u16string> arguments;
    fake.system.uiLanguage = 0x0407;
    EXPECT_EQ(detect(&arguments).localeName(), "en_US");
    EXPECT_THAT(logText(), HasSubstr("\nsun.locale.formatasdefault is true\n"));
}

struct FlagCase {
    const char* name;
    std::vector<std::u16string> arguments;
    bool flag;
};

class FormatAsDefaultTest : public DetectLocaleTest,
                            public testing::WithParamInterface<FlagCase> {};

// The regional format is Swiss German, the user interface French: the name tells which won.
TEST_P(FormatAsDefaultTest, LastSwitchDecidesBetweenFormatAndUiLanguage) {
    fake.system.lcid = 0x0807;
    fake.system.uiLanguage = 0x040C;
    std::vector<std::u16string> arguments = GetParam().arguments;
    EXPECT_EQ(detect(&arguments).localeName(), GetParam().flag ? "de_CH" : "fr_FR");
    EXPECT_THAT(logText(), HasSubstr(std::string("\nsun.locale.formatasdefault is ") +
                                     (GetParam().flag ? "true" : "false") + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, FormatAsDefaultTest,
    testing::Values(
        FlagCase{"None", {u"tool.exe", u"-x"}, true},
        FlagCase{"False", {u"tool.exe", u"-Dsun.locale.formatasdefault=false"}, false},
        FlagCase{"EmptyValue", {u"tool.exe", u"-Dsun.locale.formatasdefault="}, false},
        FlagCase{"CapitalTrue", {u"tool.exe", u"-Dsun.locale.formatasdefault=TRUE"}, false},
        FlagCase{"True", {u"tool.exe", u"-Dsun.locale.formatasdefault=true"}, true},
        FlagCase{"FalseThenTrue",
                 {u"-Dsun.locale.formatasdefault=false", u"-Dsun.locale.formatasdefault=true"},
                 true},
        FlagCase{"TrueThenFalse",
                 {u"-Dsun.locale.formatasdefault=true", u"-Dsun.locale.formatasdefault=false"},
                 false},
        FlagCase{"FirstElementCounts", {u"-Dsun.locale.formatasdefault=no"}, false},
        FlagCase{"WithoutEqualsSign", {u"tool.exe", u"-Dsun.locale.formatasdefault"}, true},
        FlagCase{"OtherArgumentsDoNotReset",
                 {u"-Dsun.locale.formatasdefault=x", u"-Dother=true"},
                 false}),
    [](const auto& info) { return info.param.name; });

TEST_F(DetectLocaleTest, MissingUiLanguageKeepsTheRegionalFormat) {
    fake.system.lcid = 0x0807;
    fake.system.uiLanguage = std::nullopt;
    std::vector<std::u16string> arguments{u"-Dsun.locale.formatasdefault=false"};
    EXPECT_EQ(detect(&arguments).localeName(), "de_CH");
}

TEST_F(DetectLocaleTest, UiLanguageGoesThroughTheSameTable) {
    fake.system.lcid = 0x0409;
    fake.system.uiLanguage = 0x0827;
    std::vector<std::u16string> arguments{u"-Dsun.locale.formatasdefault=false"};
    Locale locale = detect(&arguments);
    EXPECT_EQ(locale.localeName(), "lt");
    std::string country;
    EXPECT_FALSE(locale.localeCountry(country));
    EXPECT_THAT(logText(), HasSubstr("\nlanguage/country is lt\n"));
}

} // namespace
} // namespace kwn::config
