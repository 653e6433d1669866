#include "tools/kwnbuild/BuildConfig.h"

#include "ScratchDirectory.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/LauncherBuild.h"

#include <gtest/gtest.h>

namespace kwn::build {
namespace {

const char kSample[] = R"toml(# Narrow entries
[settings]
107 = 1
1000 = "Error"
1009 = "An internal error occurred (error code: {0})"
2001 = "i"

[wide]
1000 = "Error"

[[locale]]
name = "de"
[locale.entries]
1000 = "Fehler"
)toml";

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BuildError& error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(BuildConfig, ReadsTheDocumentedExample) {
    ConfigModel model = parseConfig(kSample, "app.toml");
    EXPECT_EQ(model.narrow,
              (std::map<Key, std::string>{{107, "1"},
                                          {1000, "Error"},
                                          {1009, "An internal error occurred (error code: {0})"},
                                          {2001, "i"}}));
    EXPECT_EQ(model.wide, (std::map<Key, std::u16string>{{1000, u"Error"}}));
    ASSERT_EQ(model.localeGroups.size(), 1u);
    EXPECT_EQ(model.localeGroups[0].name, "de");
    EXPECT_EQ(model.localeGroups[0].entries, (std::map<Key, std::u16string>{{1000, u"Fehler"}}));
}

TEST(BuildConfig, ValuesBecomeWindows1252OrUtf16) {
    const std::pair<const char*, std::string> narrow[] = {{"-5", "-5"},
                                                          {"0x1F", "31"},
                                                          {"true", "1"},
                                                          {"false", "0"},
                                                          {R"("")", ""},
                                                          {R"("Café")", "Caf\xE9"},
                                                          {R"("€ Œ ÿ")", "\x80 \x8C \xFF"}};
    for (const auto& [toml, expected] : narrow)
        EXPECT_EQ(parseConfig(std::string("[settings]\n5 = ") + toml, "t").narrow.at(5), expected)
            << toml;
    ConfigModel model = parseConfig("[wide]\n1 = \"Café\"\n2 = \"a😀\"\n", "t");
    EXPECT_EQ(model.wide.at(1), u"Caf\u00E9");
    EXPECT_EQ(model.wide.at(2), u"a\U0001F600");
}

TEST(BuildConfig, KeysAreCanonicalSigned32BitDecimals) {
    for (const char* key : {"0", "-1", "2147483647", "-2147483648"})
        EXPECT_EQ(
            parseConfig(std::string("[wide]\n\"") + key + "\" = \"\"", "t").wide.begin()->first,
            std::stoll(key));
    for (const char* key : {"2147483648", "-2147483649", "0107", "+5", "-0", "", "1e3"})
        EXPECT_EQ(
            errorOf([&] { parseConfig(std::string("[settings]\n\"") + key + "\" = 1", "t"); }),
            "t:2: [settings] " + std::string(key) +
                ": a key must be a decimal integer without '+' or leading zeros that fits "
                "a signed 32-bit int");
}

TEST(BuildConfig, RejectsInputTheLauncherCouldNotUseNamingFileLineAndKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"[settings]\n107 = ", "app.toml:2:7: "},
        {"[other]\n1 = 1", "app.toml:1: unknown top-level key 'other'"},
        {"[settings]\n107 = 1.5", "app.toml:2: [settings] 107: expected a string, integer or "
                                  "boolean, not floating-point"},
        {"[settings]\n141 = 3000000000", "app.toml:2: [settings] 141: the integer does not fit"},
        {"[settings]\n\n1000 = \"中\"", "app.toml:3: [settings] 1000: U+4E2D has no Windows-1252"},
        {"[settings]\n1000 = \"a\\u0000b\"", "app.toml:2: [settings] 1000: the text holds a NUL"},
        {"[wide]\n1000 = 1", "app.toml:2: [wide] 1000: expected a string, not integer"},
        {"[locale]\nname = \"de\"", "app.toml:1: 'locale' must be an array of tables"},
        {"[[locale]]\n[locale.entries]\n1 = \"x\"", "app.toml:1: [[locale]] #1: the group has no"},
        {"[[locale]]\nname = \"de\"\nentries = { 1 = 2 }",
         "app.toml:3: [[locale]] #1 entries 1: expected a string, not integer"},
    };
    for (const auto& [toml, expected] : cases) {
        std::string message = errorOf([&] { parseConfig(toml, "app.toml"); });
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    }
}

TEST(BuildConfig, LocaleGroupsKeepFileOrder) {
    ConfigModel model = parseConfig("[[locale]]\nname = \"de_AT\"\n[[locale]]\nname = \"\"\n"
                                    "[[locale]]\nname = \"de\"\n[locale.entries]\n7 = \"b\"\n",
                                    "t");
    ASSERT_EQ(model.localeGroups.size(), 3u);
    EXPECT_EQ(model.localeGroups[0].name, "de_AT");
    EXPECT_EQ(model.localeGroups[1].name, "");
    EXPECT_EQ(model.localeGroups[2].name, "de");
    EXPECT_EQ(model.localeGroups[2].entries.at(7), u"b");
}

TEST(BuildConfig, SettingsAreKeyEqualsValue) {
    ConfigModel model;
    applySetting(model, "1000=a=b");
    applySetting(model, "1001=");
    EXPECT_EQ(model.narrow, (std::map<Key, std::string>{{1000, "a=b"}, {1001, ""}}));
    const std::pair<const char*, const char*> rejected[] = {
        {"1000", "--set 1000: expected KEY=VALUE"},
        {"=x", "--set =x: a key must be"},
        {"1000=中", "--set 1000=中: U+4E2D has no Windows-1252 byte"},
        {"1000=\xFF", "--set 1000=\xFF: the text is not valid UTF-8"},
        {"1000=\xC0\xAF", "--set 1000=\xC0\xAF: the text is not valid UTF-8"},   // overlong "/"
        {"1000=\xED\xA0\x80", "--set 1000=\xED\xA0\x80: the text is not valid"}, // surrogate
    };
    for (const auto& [setting, expected] : rejected)
        EXPECT_EQ(errorOf([&] { applySetting(model, setting); }).rfind(expected, 0), 0u) << setting;
}

TEST(BuildConfig, SettingsOverrideTheFileInOrder) {
    test::ScratchDirectory dir;
    BuildRequest request;
    request.config = dir.write("app.toml", std::string(kSample));
    request.settings = {"1000=Fehler", "2001=e", "5=new", "2001=x"};
    ConfigModel model = collectConfig(request);
    EXPECT_EQ(model.narrow.at(1000), "Fehler");
    EXPECT_EQ(model.narrow.at(2001), "x");
    EXPECT_EQ(model.narrow.at(5), "new");
    EXPECT_EQ(model.narrow.at(107), "1");
    EXPECT_EQ(model.wide.at(1000), u"Error"); // settings are narrow entries only
}

} // namespace
} // namespace kwn::build
