// The worded configuration: values to the launcher's text, the mistakes a user makes and how
// they are named, the text the parser is never shown, the default messages, and `show` giving
// back a configuration that rebuilds the same launcher.
#include "tests/kwnbuild/BuildTestSupport.h"
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/LauncherBuild.h"
#include "tools/kwnbuild/LauncherShow.h"
#include "tools/kwnbuild/SettingsTable.h"
#include "tools/kwnbuild/TomlPrecheck.h"

#include <gtest/gtest.h>

#include <set>

namespace kwn::build {
namespace {
using namespace kwn::build::test_support;

ConfigModel parse(const std::string& toml) {
    return parseConfig(toml, "app.toml");
}

TEST(Settings, WordedValuesBecomeTheLauncherText) {
    // clang-format off
    const std::tuple<std::string, Key, std::string> rows[] = {
        {"[application]\ntype = 'windowed'", 107, "1"}, {"[application]\nflavour = 'qelvo'", 2001, "e"},
        {"[application]\ntype = 'console-with-message-boxes'", 107, "5"},
        {"[splash]\nenabled = true", 108, "1"}, {"[splash]\non-top = false", 147, "0"},
        {"[splash]\nline1-weight = 1000", 10115, "1000"}, {"[splash]\nline1-x = -20", 10109, "-20"},
        {"[splash]\nline1-colour = [255, 128, 0]", 10114, "255,128,0"}, {"[splash]\nline2-colour = '0,7,255'", 10121, "0,7,255"},
        {"[vm]\noptions = ['-Xmx1g', '-Dname=a b', 'say \"hi\" there', \"it's\", '']", 123,
         "-Xmx1g \"-Dname=a b\" 'say \"hi\" there' \"it's\" \"\""},
        {"[vm]\noptions = '-Xmx1g  \"-Da\"'", 123, "-Xmx1g  \"-Da\""},
        {"[application]\nnative-library-path = ['bin', 'lib\\x']", 10004, "bin;lib\\x"},
        {"[application]\nclass-path = ['required archive:a.jar', 'directory:c', 'env:CP', "
         "'archives-in:lib']", 121, "A1a.jar;D0c;E0CP;S0lib"},
        {"[runtime]\nsearch = ['bundled:jre', 'dir:C:\\j', 'runtime-dir:r', 'env:JAVA_HOME', "
         "'path', 'registry']", 128, "Bjre;AC:\\j;Rr;EJAVA_HOME;S;Y"},
        {"[messages]\ncaption = 'Fehler \u00e4'", 1000, "Fehler \xE4"},
        {"[settings]\n1 = '" + std::string(5999, 'x') + "'", 1, std::string(5999, 'x')},
    };
    // clang-format on
    for (const auto& [toml, key, stored] : rows)
        EXPECT_EQ(parse(toml).narrow, (std::map<Key, std::string>{{key, stored}})) << toml;
}

TEST(Settings, LocaleMessagesApplyFromTheLeastSpecificName) {
    ConfigModel model =
        parse("[messages.de_AT]\ncaption = 'A'\n[messages.\"\"]\nok = 'B'\n"
              "[messages.de]\ncaption = 'C'\n[messages.fr]\n[[locale]]\nname = 'zz'");
    std::string order;
    for (const LocaleGroup& group : model.localeGroups)
        order += "[" + group.name + "]";
    EXPECT_EQ(order, "[zz][][de][fr][de_AT]");
    EXPECT_EQ(model.localeGroups[4].entries, (std::map<Key, std::u16string>{{1000, u"A"}}));
    EXPECT_EQ(model.localeGroups[1].entries, (std::map<Key, std::u16string>{{1013, u"B"}}));
}

TEST(Settings, MistakesAreNamedWithFileLineAndSetting) {
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"[runtime]\nmin-versoin = '1'", "app.toml:2: runtime.min-versoin: unknown setting; did you mean 'runtime.min-version'?"},
        {"[application]\n\nmin-version = '1'", "app.toml:3: application.min-version: unknown setting; did you mean 'runtime"},
        {"[messages]\nenabled = true", "messages.enabled: unknown setting"}, {"[runtim]", "app.toml:1: unknown table 'runtim'; did you mean 'runtime'?"},
        {"[splash]\nenabled = 1", "app.toml:2: splash.enabled: expected true or false, not integer"},
        {"[splash]\nline1-weight = 1001", "splash.line1-weight: 1001 is out of range; allowed are 0 to 1000"},
        {"[splash]\nwidth = -1", "splash.width: -1 is out of range"}, {"[splash]\nline1-x = 2147483648", "2147483648 is out of range"},
        {"[splash]\nline1-colour = '256,0,0'", "a colour is three numbers 0 to 255"}, {"[splash]\nline1-colour = '1,,2'", "a colour is three numbers"},
        {"[splash]\nline1-colour = [1, 2]", "a colour has three parts, red, green and blue, not 2"},
        {"[splash]\nline1-colour = [1, 2, 300]", "300 is out of range"}, {"[runtime]\nsearch = ['registry:x']", "registry takes no value"},
        {"[application]\ntype = 'gui'", "\"gui\" is not allowed; expected one of \"console\", \"windowed\""},
        {"[runtime]\nsearch = ['java_home']", "runtime.search: bad search entry \"java_home\": expected bundled:..., dir:..."},
        {"[runtime]\nsearch = ['env:']", "bad search entry \"env:\": env needs a value after ':'"},
        {"[runtime]\nsearch = 'Bjre'\nmin-version = 1", "runtime.min-version: expected a string, not integer"},
        {"[application]\nclass-path = ['archive:a;b']", "';' separates the launcher's entries"},
        {"[application]\nclass-path = ['jar:a']", "bad class path entry \"jar:a\""}, {"[vm]\noptions = [\"a\\\"b'c\"]", "holds both kinds of quotes"},
        {"[application]\nnative-library-path = ['']", "a path in the list is empty or holds ';'"},
        {"[vm]\noptions = [1]", "vm.options: expected an array of strings, not integer"},
        {"[vm]\noptions = 1", "vm.options: expected an array or a string, not integer"},
        {"[settings]\n126 = '1'\n[runtime]\nmin-version = '2'", "key 126 is given twice, also at app.toml:"},
        {"[messages.de_AT_xyz]\ncaption = 'x'", "app.toml:1: [messages.de_AT_xyz]: a locale name has at most 8"},
        {"[messages.de]\ncaption = 1", "messages.de.caption: expected a string, not integer"},
        {"[messages.de]\nwidth = 1", "messages.de.width: unknown setting"}, {"resources = 1", "app.toml:1: [resources]: expected a table"},
        {"[settings]\n1 = '" + std::string(6000, 'x') + "'", "app.toml:2: [settings] 1: the value takes 6000 bytes; the launcher reads at most 5999 of key 1"},
        {"[splash]\nline1-font = '" + std::string(32, 'a') + "'", "at most 31 of key 10112"},
        {"[application]\narguments = '" + std::string(2000, 'a') + "'", "at most 1999 of key 124"},
        {"[resources]\n[runtime]\nmax-version = ['1']", "runtime.max-version: expected a string, not array"},
        // Never shown to the parser.
        {"10\xC3\xA9 = 0", "app.toml:1: a non-ASCII character outside a string or comment"},
        {"[settings]\n[a\xC3\xA9]", "app.toml:2: a non-ASCII character"}, {"a = \"x\\\\\"\nb = \xC3\xA9", "app.toml:2: a non-ASCII character"},
        {"[+settings]", "app.toml:1: a table header must start with a name"}, {"[[[1]]]", "app.toml:1: a table header must start"},
        {"a = \"\"\"x\"\"\"\"\n[+b]", "app.toml:2: a table header"}, {"a = 'x' # \xC3\xA9\n\n[[ +c]]", "app.toml:3: a table header"},
        {"a = \"\"\"x\\\n\"\"\"\n[+b]", "app.toml:3: a table header"}, {"s=2\"\xC8\xBE", "app.toml:1: a quote directly behind"},
        {"a = \"\\\xC3\xA9\"", "app.toml:1: a non-ASCII character behind a backslash"},
    };
    // clang-format on
    for (const auto& [toml, expected] : rows)
        EXPECT_TRUE(failsWith([&toml = toml] { parse(toml); }, expected));
}

// What the parser sees: ASCII only, every string the same value, every line where it was.
TEST(Settings, TheParserSeesTheSameValuesInAscii) {
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"# caf\xC3\xA9\xC4\x80\n[a] # \xC3\xA9", "# caf    \n[a] #   "},
        {"a = \"\xC3\xA9 [+x] \\\" \xC3\xA9\"\n[b]", "a = \"\\u00E9 [+x] \\\" \\u00E9\"\n[b]"},
        {"a = \"\"\"\n[+y] \xC3\xA9\n\"\"\"\n[b]", "a = \"\"\"\n[+y] \\u00E9\n\"\"\"\n[b]"},
        {"a = \"\"\"x\\ \n \xEF\xBB\xBE\"\"\"", "a = \"\"\"x\\ \n \\uFEFE\"\"\""},
        {"a = '''\n[\xC3\xA9\n'''", "a = \"\"\"\n[\\u00E9\n\"\"\""},
        {"a = 'C:\\x\"\xC3\xA9'", "a = \"C:\\\\x\\\"\\u00E9\""},
        {"a = '''\xF0\x9F\x98\x80''''", "a = \"\"\"\\U0001F600'\"\"\""},
        {"a = 'C:\\x' # '\xC3\xA9'", "a = 'C:\\x' # '  '"},
        {"a = '''x''''", "a = '''x''''"}, {"\xEF\xBB\xBF[a]", "[a]"},
        {"a = [\n [+1],\n {x = 1}, ]\n[b]", "a = [\n [+1],\n {x = 1}, ]\n[b]"},
        {"a.\"b\".'c' = {\"k\"=[\"v\",'w']}", "a.\"b\".'c' = {\"k\"=[\"v\",'w']}"},
        {"[\"\xC3\xA9\"]\n['b']\n[ c ]\n[[ d ]]\n[_e]\n[-f]\n[7]", "[\"\\u00E9\"]\n['b']\n[ c ]\n[[ d ]]\n[_e]\n[-f]\n[7]"},
    };
    // clang-format on
    for (const auto& [text, seen] : rows)
        EXPECT_EQ(asciiToml(text, "t"), seen) << text;
    EXPECT_EQ(parse("[messages]\ncaption = 'C:\\\xC3\xA9'").narrow.at(1000), "C:\\\xE9");
}

TEST(Settings, EveryMessageGetsAnEnglishDefault) {
    ConfigModel model;
    model.narrow[1005] = "own";
    addDefaultMessages(model);
    // The messages the launcher fills with an argument keep their placeholder.
    const std::set<Key> withArgument = {1002, 1003, 1006, 1008, 1009, 1014,
                                        1016, 1017, 1018, 1019, 1020};
    for (Key key = 1000; key <= 1020; ++key) {
        const std::string& text = model.narrow[key];
        EXPECT_TRUE(!text.empty() &&
                    (text.find("{0}") != std::string::npos) == withArgument.contains(key))
            << key;
    }
    EXPECT_EQ(model.narrow.at(1005), "own");
}

std::vector<unsigned char> build(const std::filesystem::path& config) {
    BuildRequest request{"", "", config};
    return assembleLauncher(stub(), "stub", collectConfig(request));
}

TEST(Settings, ShowGivesTheConfigurationThatRebuildsTheLauncher) {
    // The configuration, and whether anything in it has no worded form.
    // clang-format off
    const std::pair<std::string, bool> rows[] = {
        {"[application]\nname = 'Caf\u00e9 \"1\"\\\\'\ntype = 'windowed'\nclass-path = ['required archive:a.jar', 'env:X']\n"
         "[vm]\noptions = ['-Da=b c', '-Xmx1g']\n[runtime]\nsearch = ['bundled:jre', 'path']\n"
         "[splash]\nline1-colour = [1, 2, 3]\nenabled = true\nline1-y = 0\n"
         "[messages]\ncaption = 'Oops\\n\\t'\n[messages.de]\ncaption = 'F\u00e4hler \u20ac \U0001F600'\n"
         "[[file]]\nname = 'user/x.bin'\nsource = 'x.bin'\n[[file]]\nname = 'c'\nsource = 'x.bin'\n", false},
        {"[settings]\n108 = '2'\n128 = 'B.\\jre;Y;'\n149 = 'x'\n121 = 'AT.\\lib\\a.jar'\n107 = '01'\n"
         "123 = '\"a'\n1005 = '\u00e9'\n10114 = '1,2'\n"
         "[wide]\n1000 = 'W'\n[[locale]]\nname = 'de_AT'\n[locale.entries]\n1000 = 'A'\n"
         "[[locale]]\nname = 'de'\n[locale.entries]\n1000 = 'B'\n", true},
    };
    // clang-format on
    for (const auto& [toml, numbered] : rows) {
        Scratch dir;
        dir.write("x.bin", std::string("\0\xA7 content", 10));
        std::vector<unsigned char> launcher = build(dir.write("app.toml", toml));
        DecodedLauncher decoded = decodeLauncher(launcher);
        std::string shown = configText(decoded, extractFiles(launcher, decoded, dir.path / "out"));
        EXPECT_EQ(build(dir.write("shown.toml", shown)), launcher) << shown;
        EXPECT_EQ(shown.find("[settings]") != std::string::npos, numbered) << shown;
        if (numbered)
            continue;
        EXPECT_NE(shown.find("class-path = [\"required archive:a.jar\", \"env:X\"]"),
                  std::string::npos);
        // Without a directory to write them to, included files are listed with their sizes.
        EXPECT_NE(configText(decoded).find("# included file \"user\\\\x.bin\", 10 bytes (--extract "
                                           "DIR writes it out)\n\n# included file \"c\", 10 bytes"),
                  std::string::npos);
    }
    EXPECT_TRUE(failsWith([] { decodeLauncher(stub()); }, "the block ends early"));
    // A count that reaches exactly to the end is read; one beyond it names itself.
    for (std::size_t beyond : {0, 1}) {
        Bytes launcher = assembleLauncher(stub(), "stub", {});
        putLittleEndian(launcher, 532, launcher.size() - 536 + beyond, 4); // the narrow table's
        EXPECT_TRUE(failsWith([&] { decodeLauncher(launcher); },
                              beyond ? "a count or length of" : "the block ends early"));
    }
}

TEST(Settings, TheReadmeReferenceIsTheTablesOwn) {
    std::ifstream in(std::filesystem::path(KWN_SOURCE_DIR) / "README.md");
    std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string begin = "`kwnbuild keys --markdown`; a test fails when the two differ -->\n";
    std::size_t from = readme.find(begin);
    std::size_t to = readme.find("<!-- end of the settings reference -->");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    from += begin.size();
    EXPECT_EQ(readme.substr(from, to - from), settingsReferenceMarkdown())
        << "run: dist/bin/kwnbuild keys --markdown, and put its output into the README";
}

} // namespace
} // namespace kwn::build
