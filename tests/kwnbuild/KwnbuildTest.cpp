// The build tool: what it reads from the TOML file, --set and --include, the text it keeps for
// the launcher (narrow values in the Windows-1252 the launcher reads, wide ones in UTF-16, names
// the launcher can create in its temp directory), and the launcher it writes: the checked stub,
// the block behind the stub's image, the included files' records and the trailer.
#include "tests/kwnbuild/BuildTestSupport.h"
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/IncludedFileList.h"
#include "tools/kwnbuild/IncludedFileRecords.h"
#include "tools/kwnbuild/LauncherBuild.h"
#include "tools/kwnbuild/PeImage.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kwn::build {
namespace {
using namespace kwn::build::test_support;

TEST(BuildConfig, ReadsEveryTable) {
    // clang-format off
    ConfigModel model = parseConfig(
        "settings = {107 = 1, -1 = -5, 0 = 0x1F, 3 = true, 4 = false, 2147483647 = '', "
        "-2147483648 = '', 6 = 'Café € Œ ÿ Ž ž ” ƒ „ …'}\n"
        "wide = {1000 = 'Café a😀 \u0800', 2002 = 'x'}\n"
        "locale = [{name = 'de_AT'}, {name = ''}, {name = 'de', entries = {1000 = 'Fehler'}}]\n"
        "file = [{name = 'user/lib.jar', source = 'lib.jar'}]", "app.toml");
    EXPECT_EQ(model.narrow, (std::map<Key, std::string>{{-1, "-5"}, {0, "31"}, {3, "1"}, {4, "0"},
        {2147483647, ""}, {-2147483647 - 1, ""}, {6, "Caf\xE9 \x80 \x8C \xFF \x8E \x9E \x94 \x83 \x84 \x85"}, {107, "1"}}));
    // clang-format on
    // The launcher never reads the wide table for the keys of the included files.
    EXPECT_EQ(model.wide, (std::map<Key, std::u16string>{{1000, u"Caf\u00E9 a\U0001F600 \u0800"},
                                                         {2002, u"x"}}));
    ASSERT_TRUE(model.localeGroups.size() == 3 && model.includedFiles.size() == 1);
    EXPECT_EQ(model.localeGroups[0].name + "," + model.localeGroups[1].name + "," +
                  model.localeGroups[2].name + " " + model.includedFiles[0].name + " " +
                  model.includedFiles[0].source.string(),
              "de_AT,,de user\\lib.jar lib.jar");
    EXPECT_EQ(model.localeGroups[2].entries, (std::map<Key, std::u16string>{{1000, u"Fehler"}}));
}

// Errors name the file, line and key, and options name themselves.
TEST(BuildConfig, RejectsWhatTheLauncherCouldNotUse) {
    // clang-format off
    expectErrors({{"[settings]\n\n1000 = \"中\"", "app.toml:3: [settings] 1000: U+4E2D has no Windows-1252"},
        {"settings = {1 = 2147483648}", "the integer does not fit the launcher's 32-bit integers"},
        {"[[locale]]\n[locale.entries]\n1 = \"x\"", "app.toml:1: [[locale]] #1: the group has no"},
        {"[[file]]\nname = \"a\"", "app.toml:1: [[file]] #1: the entry has no 'source'"},
        {"[[file]]\nname = \"a\"\nsource = \"s\"\nmode = 1", "app.toml:4: [[file]] #1 mode: unknown key"}},
        [](const std::string& toml) { parseConfig(toml, "app.toml"); });
    ConfigModel model;
    applySetting(model, "1000=a=b");
    EXPECT_EQ(model.narrow.at(1000), "a=b");
    expectErrors({{"1000", "--set 1000: expected KEY=VALUE"}, {"x=1", "a key must be"},
        {"1000=中", "--set 1000=中: U+4E2D has no Windows-1252 byte"},
        {"1000=\xFF", "--set 1000=\xFF: the text is not valid UTF-8"},
        {"1000=\xC0\xAF", ": the text is not valid UTF-8"}, {"1000=\xED\xA0\x80", ": the text is not valid UTF-8"}, // overlong, surrogate
        {"2002=0", "--set 2002=0: key 2002 is written by kwnbuild"},
        {"152=" + std::string(200, 'x'), "xxx: the value takes 200 bytes; the launcher reads at most 199 of key 152"},
        {"splash.line1-weight=1001", "--set splash.line1-weight=1001: 1001 is out of range"},
        {"splash.enabled=yes", "expected true or false, not string"}, {"splash.enabled=true\nx = 1", "expected true or false"},
        {"runtime.min-versoin=1", "unknown setting; did you mean 'runtime.min-version'?"}},
        [&](const std::string& setting) { applySetting(model, setting); });
    // By name: a TOML value where the setting takes one, else the text as it is.
    const std::tuple<const char*, Key, const char*> named[] = {{"runtime.min-version=1.8", 126, "1.8"},
        {"splash.enabled=true", 108, "1"}, {"splash.line1-colour=[1, 2, 3]", 10114, "1,2,3"},
        {"splash.line2-colour=4,5,6", 10121, "4,5,6"}, {"vm.options=-Xmx1g -Da=b", 123, "-Xmx1g -Da=b"},
        {"application.class-path=['archive:\xC3\xA9.jar']", 121, "A0\xE9.jar"}, {"messages.caption=1", 1000, "1"}};
    // clang-format on
    for (const auto& [assignment, key, stored] : named) {
        applySetting(model, assignment);
        EXPECT_EQ(model.narrow.at(key), stored) << assignment;
    }
}

// Stored with backslashes in Windows-1252; refused when the launcher could not create the file
// in its temp directory, or Windows would store it under another name.
TEST(IncludedFileList, NamesTheLauncherCanCreate) {
    // clang-format off
    Rows rejected = {{"", "the name is empty"}, {"a/b/c", "more than one directory level"},
        {"a\x1F", "holds a control character"}, {"中.jar", "U+4E2D has no Windows-1252 byte"}, {"..\\evil", "'.' or '..' component"},
        {"lib.jar.", "has a part ending in '.'"}, {"dir /a.jar", "has a part ending in ' '"}};
    // clang-format on
    for (char c : std::string(";<>:\"|?*"))
        rejected.push_back({std::string("a") + c + "b", std::string("holds '") + c + "'"});
    expectErrors(rejected, [](const std::string& name) { includedFileName(name, "w"); });
    // Names Windows would take for one another.
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"lib.jar", "LIB.JAR"}, "#2: the name is taken already, by #1"},
        {{"\x9A", "\x8A"}, "#2: the name is taken already"}, {{"\x9C", "\x8C"}, "#2: the name is taken already"},
        {{"\xFF", "\x9F"}, "#2: the name is taken already"}, {{"lib", "Lib\\a.jar"}, "#2: the name clashes with #1"},
        {{"lib\\a.jar", "LIB"}, "#2: the name clashes with #1"},
        {{"a\\x.jar", "a\\y.jar", "b.jar"}, "(accepted)"}, {{"ab", "a\\b"}, "(accepted)"}};
    // clang-format on
    for (const auto& [names, expected] : cases) {
        std::vector<IncludedFile> files;
        std::string error = errorOf([&, &names = names] {
            for (const std::string& name : names)
                addIncludedFile(files, {name, "src", "#" + std::to_string(files.size() + 1)});
        });
        EXPECT_EQ(error.substr(0, expected.size()), expected);
        EXPECT_EQ(files.size(), names.size() - (expected == "(accepted)" ? 0 : 1));
    }
}

TEST(PeImage, TheBlockGoesWhereTheLaunchersHeaderWalkLooksForIt) {
    EXPECT_EQ(validateStub(stub()), 512u);
    // A section without raw data in the middle of the table does not count.
    EXPECT_EQ(validateStub(peImage({{0x1C0, 0x20}, {0, 0}, {0x1E0, 0x20}})), 0x200u);
    auto changed = [](std::size_t offset, std::uint64_t value, std::size_t width) {
        Bytes image = stub();
        putLittleEndian(image, offset, value, width);
        return image;
    };
    Bytes dosHeader = {'M', 'Z'}; // claims the PE signature at 0
    dosHeader.resize(64);
    Bytes built = stub();
    built.insert(built.end(), {0xD5, 0x13, 0xE4, 0xE8});
    // clang-format off
    const std::pair<Bytes, const char*> cases[] = {{{}, "no MZ header"},
        {dosHeader, "no PE signature at offset 0"},
        {changed(0x40, 'X', 1), "no PE signature at offset 64"}, {changed(0x46, 0, 2), "no sections"},
        {changed(0x54, 0x8000, 2), "above 32767"}, // the launcher reads it as negative
        {peImage({{0x1C0, 0x40}, {0x190, 0x30}}), "is not the section whose raw data ends last"},
        {built, "4 bytes follow the last section"}}; // a built launcher or a signature
    // clang-format on
    for (const auto& [image, message] : cases)
        EXPECT_TRUE(failsWith([&image = image] { validateStub(image); }, message));
}

TEST(ConfigBlockWriter, HeaderThenNarrowWideAndLocaleTablesThenTrailer) {
    ConfigModel model;
    model.narrow = {{103, "error.log"}, {-1, ""}};
    model.wide = {{1000, u"\u20AC 12"}};
    model.localeGroups = {{"z", {}}, {"", {{7, u"x"}}}};
    // clang-format off
    const Bytes expected = {
        0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 1, 0, 0, 0,   // magic, header words 0 and 1
        88, 0, 0, 0, 0, 0, 0, 0,                          // length word: block size - 12
        2, 0, 0, 0,                                       // N, in key order
        0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,               // key -1, byte length 0
        0x67, 0, 0, 0, 9, 0, 0, 0, 'e', 'r', 'r', 'o', 'r', '.', 'l', 'o', 'g',
        1, 0, 0, 0, 0xE8, 0x03, 0, 0, 8, 0, 0, 0, 0xAC, 0x20, ' ', 0, '1', 0, '2', 0, // W, UTF-16LE
        2, 0, 0, 0,                                       // G, in the model's order
        1, 0, 0, 0, 'z', 0, 0, 0, 0,                      // name "z", E = 0
        0, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 'x', 0};
    // clang-format on
    EXPECT_EQ(encodeConfigBlock(model), expected);
    // Length words above one byte: a 300-byte value in a block of 340 bytes.
    model = {};
    model.narrow[1] = std::string(300, 'x');
    Bytes large = encodeConfigBlock(model);
    EXPECT_EQ(Bytes(large.begin() + 12, large.begin() + 32),
              (Bytes{0x48, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x2C, 1, 0, 0}));
    // The trailer is the end marker, padded to the next 512 boundary.
    const std::pair<std::uint64_t, std::size_t> trailers[] = {
        {0, 512}, {508, 4}, {509, 515}, {1000, 24}, {0x47800, 512}, {0x47FFC, 4}};
    for (auto [offset, size] : trailers) {
        Bytes trailer(size, 0);
        putLittleEndian(trailer, 0, 0xD513E4E8, 4);
        EXPECT_EQ(encodeTrailer(offset), trailer) << offset;
    }
}

// A source that grew or shrank since it was measured fails the build; progress is shown only
// for inputs above 4 MiB.
TEST(IncludedFileRecords, ContentIsCopiedAsMeasured) {
    Scratch dir;
    MemorySink sink;
    IncludedFile five{"a", dir.write("a", std::string("12345")), "#1"};
    for (std::uint64_t measured : {4u, 6u})
        EXPECT_TRUE(failsWith([&] { writeIncludedRecord(sink, five, measured, nullptr); },
                              "changed while the launcher was built"));
    for (std::size_t size : {std::size_t{4 << 20}, std::size_t{(4 << 20) + 1}}) {
        std::ostringstream progress;
        MemorySink sink;
        writeIncludedRecord(sink, {"f", dir.write("f", std::string(size, 'f')), "#1"}, size,
                            &progress);
        std::string shown;
        for (const char* percent : {"0%", "24%", "49%", "74%", "99%", "100%\n"})
            shown += "\rkwnbuild: including " + (dir.path / "f").string() + ": " + percent;
        EXPECT_EQ(progress.str(), size == 4 << 20 ? "" : shown);
        // The size field, then the content with every byte XOR A7.
        Bytes& record = sink.bytes();
        ASSERT_EQ(record.size(), size + 8);
        EXPECT_EQ(Bytes(record.begin(), record.begin() + 8),
                  (Bytes{static_cast<unsigned char>(size % 2), 0, 0x40, 0, 0, 0, 0, 0}));
        EXPECT_EQ(std::count(record.begin() + 8, record.end(), 'f' ^ 0xA7), std::ptrdiff_t(size));
    }
}

TEST(LauncherBuild, AFailedBuildLeavesNoOutputNoTemporaryFileAndOtherFilesIntact) {
    // clang-format off
    const std::tuple<Bytes, std::string, std::string, const char*> cases[] = {
        {Bytes(300, 'x'), "o.exe", "", "stub '"}, {stub(), "./stub.exe", "", "is the stub itself"},
        {stub(), "project", "", "cannot replace"}, // after the temporary file was written
        {stub(), "o.exe", "project", "not a regular file"}};
    // clang-format on
    for (const auto& [bytes, output, include, message] : cases) {
        Scratch dir;
        BuildRequest request{dir.write("stub.exe", bytes), dir.path / output, std::nullopt};
        if (!include.empty())
            request.includes = {"a.jar=" + (dir.path / include).string()};
        std::set<std::string> before = dir.names();
        EXPECT_TRUE(failsWith([&] { buildLauncher(request); }, message));
        EXPECT_EQ(dir.names(), before) << message;
        EXPECT_EQ(read(request.stub), bytes) << message;
    }
}

} // namespace
} // namespace kwn::build
