#include "files/IncludedFiles.h"

#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "files/IncludedFileName.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>

#include <numeric>

namespace kwn::files {
namespace {

using test::Bytes;
using testing::HasSubstr;

const std::u16string kModule = u"C:\\apps\\tool.exe";
const std::string kTemp = "C:\\Temp\\qvo1A2B.tmp_dir1700000000";

const auto bytesOf = [](std::string_view text) { return Bytes(text.begin(), text.end()); };

// Records as the build tool stores them: the size, then every content byte XORed with the key.
Bytes records(std::initializer_list<Bytes> contents) {
    test::ByteWriter writer;
    for (Bytes content : contents) {
        for (unsigned char& byte : content)
            byte ^= 0xA7;
        writer.i64(static_cast<std::int64_t>(content.size())).raw(content);
    }
    return writer.bytes();
}

// The system may resolve a name elsewhere than its text says (a link, a trimmed name).
class AliasingFiles : public test::FakeFiles {
public:
    std::optional<std::string> fullPathName(const std::string& path) override {
        auto alias = aliases.find(path);
        return alias != aliases.end() ? alias->second : FakeFiles::fullPathName(path);
    }
    std::map<std::string, std::string> aliases;
};

class IncludedFilesTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = kModule;
        fake.environment.variables["TMP"] = "C:\\Temp";
        for (std::u16string directory :
             {std::u16string(u"C:\\Temp"), files.systemTempPath, test::widen(kTemp)})
            files.addDirectory(directory);
        ctx.log.setForced(true);
        ctx.tempDirectory = kTemp;
        ctx.config.setNarrow(1009, "An internal error occurred (error code: {0})");
    }
    // The count and names of the block, and the launcher file with `tail` behind the block.
    void install(const std::string& count, const std::string& names, const Bytes& tail) {
        ctx.config.setNarrow(2002, count);
        ctx.config.setNarrow(2003, names);
        test::LauncherImage image = test::buildLauncherImage(tail);
        files.addFile(kModule, image.bytes);
        ctx.config.setBlockEndPosition(blockEnd = image.blockStart);
        files.readOpens.clear();
    }
    // The exit code when the launcher ended, else nullopt with `result` set.
    std::optional<int> extract(bool createTempDirectory = false) {
        return test::exitCodeOf([&] { result = extractIncludedFiles(ctx, createTempDirectory); });
    }
    std::string logText() const { return files.text(u"C:\\Temp\\kwn_nlog_1"); }
    Bytes fileBytes(const std::string& path) { return files.files[test::widen(path)].bytes; }

    test::FakePlatform fake;
    AliasingFiles files;
    platform::Platform os{files,         fake.environment, fake.process, fake.ui,
                          fake.console,  fake.system,      fake.threads, fake.codePage,
                          fake.registry, fake.programs,    fake.ipc};
    launcher::LaunchContext ctx{os};
    std::int64_t blockEnd = 0;
    int result = -1;
};

TEST_F(IncludedFilesTest, ExtractsIntoANewTempDirectoryAndRemembersWhereTheRecordsEnd) {
    Bytes a = {0x00, 0xA7, 0xFF}, big(200001); // more than a single read takes
    std::iota(big.begin(), big.end(), 0);      // every byte value, so that no XOR goes unseen
    install("2", "a.jar;user\\b.jar", records({a, big, bytesOf("tail")}));
    ctx.tempDirectory.clear();
    EXPECT_EQ(extract(true), std::nullopt);
    const std::string temp = ctx.tempDirectory;
    EXPECT_EQ(fileBytes(temp + "\\a.jar"), a);
    EXPECT_EQ(fileBytes(temp + "\\user\\b.jar"), big);
    EXPECT_EQ(ctx.unextractedPosition, blockEnd + 8 + 3 + 8 + 200001);
    EXPECT_THAT(logText(), HasSubstr("\ncreating directory " + temp + "\\user\n"));
    EXPECT_THAT(logText(), HasSubstr(" (size: 200001)\nextracting files done\n"));
    // Without files the launcher file is not read and no temp directory is made.
    install("0", "a.jar", records({a}));
    EXPECT_EQ(extract(true), std::nullopt);
    EXPECT_EQ(ctx.tempDirectory, "");
    EXPECT_TRUE(files.readOpens.empty());
}

// Each row: the count and the names of the block, the records behind it, and the outcome: the
// result, or the exit with its message; the files written, and where the records end.
TEST_F(IncludedFilesTest, RecordsAreExtractedAsTheCountAndNamesSay) {
    files.aliases[kTemp + "\\link.jar"] = "C:\\Windows\\System32\\drivers\\link.jar";
    files.aliases[kTemp + "\\self"] = kTemp + "\\"; // the system resolves it to the directory
    const Bytes three = records({bytesOf("1"), bytesOf("2"), bytesOf("3")});
    const std::string error11 = "exit An internal error occurred (error code: 11)";
    // clang-format off
    const std::tuple<const char*, std::string, Bytes, std::string> cases[] = {
        {"2", ";;a;;;b;", three, "0 a=1 b=2 @18"}, {"1", "a;b", three, "0 a=1 @9"}, {"-1", "a;b", three, "0 @0"},
        // An empty record writes no file; a cut one fails its read, or the read of its size.
        {"2", "a;b", test::ByteWriter().i64(0).raw(records({bytesOf("b")})).bytes(), "0 b=b @17"},
        {"2", "a;b", test::cut(records({bytesOf("0123456789")}), 12), "1 a=0123"},
        {"2", "a;b", test::cut(three, 9 + 5), "exit Internal Error: readLong"},
        {"1", "x\\y\\z.jar", three, error11}, // its directory is not there
        {"2", "ok;x\\aux", three, error11}, {"2", "ok;link.jar", three, error11}, {"2", "ok;self", three, error11}};
    // clang-format on
    for (const auto& [count, names, tail, expected] : cases) {
        files.addDirectory(kTemp);
        install(count, names, tail);
        ctx.unextractedPosition = 0;
        std::optional<int> exit = extract();
        std::string outcome =
            exit ? "exit " + test::narrow(fake.ui.boxes.back().text) : std::to_string(result);
        outcome = outcome.substr(0, outcome.find('\n'));
        for (const auto& [path, file] : std::map(files.files)) {
            if (path.starts_with(test::widen(kTemp + "\\"))) {
                outcome += " " + test::narrow(path.substr(kTemp.size() + 1)) + "=" +
                           std::string(file.bytes.begin(), file.bytes.end());
                files.files.erase(path);
            }
        }
        if (ctx.unextractedPosition != 0)
            outcome += " @" + std::to_string(ctx.unextractedPosition - blockEnd);
        EXPECT_EQ(outcome, expected) << names;
    }
    ctx.tempDirectory.clear(); // nothing lies inside an empty temp directory
    EXPECT_EQ(extract(), 1);
    EXPECT_THAT(logText(), HasSubstr("name ok (outside the temp directory)"));
    files.files.erase(kModule); // gone since its block was read
    EXPECT_EQ(extract(), 1);
    EXPECT_THAT(test::narrow(fake.ui.boxes.back().text), HasSubstr("Error opening media file."));
}

// A failed write ends the extraction. Only the first level of a name's directory is created;
// a failure to create it is only logged, since it shows when the file cannot be created.
TEST_F(IncludedFilesTest, FailuresToWriteAFileOrCreateADirectory) {
    install("1", "a", records({bytesOf("0123456789")}));
    files.writeLimit = 4; // the first write takes 4 of 10 bytes, the next one fails
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(result, kWriteFailed);
    EXPECT_THAT(logText(), HasSubstr("(size: 10)\nERROR: WriteFile failed 6 112\nERROR: Failed to "
                                     "extract C:\\Temp\\qvo1A2B.tmp_dir1700000000\\a\n"));
    files.writeLimit.reset();
    files.addDirectory(kTemp + "\\lib");
    files.readOnlyDirectories.insert(test::widen(kTemp)); // "lib" still takes files
    for (bool exists : {false, true}) {
        if (exists)
            files.addDirectory(kTemp + "\\user");
        install("2", "user\\empty.jar;lib\\top.jar", records({{}, bytesOf("t")}));
        EXPECT_EQ(extract(), std::nullopt);
        EXPECT_EQ(fileBytes(kTemp + "\\lib\\top.jar"), bytesOf("t"));
        std::string log = logText();
        EXPECT_EQ(log.find("ERROR", log.rfind("Included files")) == std::string::npos, exists);
    }
}

TEST(IncludedFileName, AcceptsOnlyNamesThatStayInsideTheirDirectory) {
    for (const char* name : {"a.jar", "user\\lib.jar", "a..b", ".hidden", "console.jar", "com10",
                             "lpt", "nul_x", "caf\xE9.jar", "a b"})
        EXPECT_EQ(includedNameFault(name), std::nullopt) << name;
    // clang-format off
    const std::pair<std::string_view, std::vector<const char*>> refused[] = {
        {"no name", {""}}, {"a rooted or UNC start", {"\\x", "\\\\srv\\x"}}, {"a drive or stream (':')", {"C:x", "a.jar:s"}},
        {"a '/'", {"a/b"}}, {"an empty component", {"a\\\\b", "a\\"}},
        {"a '.' or '..' component", {"..\\x", "a\\..\\..\\b", "a\\.", "...", ". ."}},
        {"a device name", {"NUL", "aux", "con.txt", "x\\Aux.jar", "LPT9", "com0", "LPT0.x", "com\xB9", "prn .x", "CONOUT$"}}};
    // clang-format on
    for (const auto& [fault, names] : refused)
        for (const char* name : names)
            EXPECT_EQ(includedNameFault(name), fault) << name;
}

} // namespace
} // namespace kwn::files
