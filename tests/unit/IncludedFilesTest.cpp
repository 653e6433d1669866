#include "files/IncludedFiles.h"

#include "config/ConfigReader.h"
#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "files/IncludedFileName.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

namespace kwn::files {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::ConfigBlockBuilder;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::u16string kModule = u"C:\\apps\\tool.exe";
const std::u16string kLogFile = u"C:\\Temp\\kwn_nlog_1";
const std::string kTemp = "C:\\Temp\\qvo1A2B.tmp_dir1700000000";
const char kInternalError[] = "An internal error occurred (error code: {0})";

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A record as the build tool stores it: the size, then every content byte XORed with the key.
Bytes record(const Bytes& content) {
    Bytes scrambled = content;
    for (unsigned char& byte : scrambled)
        byte ^= 0xA7;
    return ByteWriter().i64(static_cast<std::int64_t>(content.size())).raw(scrambled).bytes();
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Content with every byte value, so that a missing or doubled XOR cannot go unnoticed.
Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class IncludedFilesTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = kModule;
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.files.addDirectory(u"C:\\Temp");
        fake.files.addDirectory(fake.files.systemTempPath);
        fake.files.addDirectory(kTemp);
        ctx.log.setForced(true);
        ctx.tempDirectory = kTemp;
    }

    // The launcher file: a block holding keys 2002 and 2003 (when given), then `records`.
    void install(std::optional<std::string> count, std::optional<std::string> names,
                 const Bytes& records) {
        ConfigBlockBuilder builder;
        builder.narrow(1000, "Error").narrow(1009, kInternalError).narrow(107, "1");
        if (count)
            builder.narrow(2002, *count);
        if (names)
            builder.narrow(2003, *names);
        Bytes block = builder.build();
        test::LauncherImage image = test::buildLauncherImage(concat({block, records}));
        fake.files.addFile(kModule, image.bytes);
        blockEnd = image.blockStart + static_cast<std::int64_t>(block.size());
        diag::NativeLog quiet(fake.platform()); // keeps the block reading out of the log
        ASSERT_EQ(config::readConfigBlock(fake.files, kModule, quiet, ctx.config,
                                          [] { return std::string("en"); }),
                  std::nullopt);
        ASSERT_EQ(ctx.config.blockEndPosition(), blockEnd);
        fake.files.readOpens.clear();
    }

    // The exit code when the launcher ended, else nullopt with `result` set.
    std::optional<int> extract(bool createTempDirectory = false) {
        return test::exitCodeOf([&] { result = extractIncludedFiles(ctx, createTempDirectory); });
    }

    // The log from the extraction's first line on, one element per line.
    std::vector<std::string> extractionLog() const {
        std::string text = fake.files.text(kLogFile);
        size_t start = text.find("extracting files\n");
        std::vector<std::string> lines;
        std::istringstream in(start == std::string::npos ? "" : text.substr(start));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string logText() const { return fake.files.text(kLogFile); }

    Bytes fileBytes(const std::string& path) const {
        auto it = fake.files.files.find(test::widen(path));
        return it == fake.files.files.end() ? Bytes{} : it->second.bytes;
    }
    std::set<std::u16string> fileNames() const {
        std::set<std::u16string> names;
        for (const auto& [path, file] : fake.files.files)
            names.insert(path);
        return names;
    }
    // The last message box's text; logging is on, so the log path follows the message.
    std::string shownMessage() const {
        const std::string logSuffix = "\n\nLog: " + test::narrow(kLogFile);
        std::string text = fake.ui.boxes.empty() ? "" : test::narrow(fake.ui.boxes.back().text);
        return text.ends_with(logSuffix) ? text.substr(0, text.size() - logSuffix.size())
                                         : "(no log path) " + text;
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
    std::int64_t blockEnd = 0;
    std::optional<int> result;
};

TEST_F(IncludedFilesTest, NoIncludedFilesTouchesNeitherTheLauncherFileNorTheDisk) {
    for (std::optional<std::string> count : {std::optional<std::string>("0"),
                                             std::optional<std::string>(), // absent reads as 0
                                             std::optional<std::string>("x")}) {
        SCOPED_TRACE(count.value_or("(absent)"));
        test::FakePlatform machine;
        machine.process.moduleFile = kModule;
        launcher::LaunchContext context(machine.platform());
        context.tempDirectory = "left over";
        machine.files.addFile(kModule, test::buildLauncherImage({}).bytes);
        if (count)
            context.config.setNarrow(2002, *count);
        context.config.setNarrow(2003, "a.jar");
        EXPECT_EQ(extractIncludedFiles(context, true), kExtracted);
        EXPECT_EQ(context.tempDirectory, "");
        EXPECT_THAT(machine.files.readOpens, IsEmpty());
        EXPECT_THAT(machine.files.createdDirectories, IsEmpty());
        EXPECT_EQ(context.unextractedPosition, 0);
    }
}

TEST_F(IncludedFilesTest, ZeroFilesWithoutCreatingKeepsTheTempDirectory) {
    install("0", "a.jar", record(bytesOf("abc")));
    EXPECT_EQ(extract(false), std::nullopt);
    EXPECT_EQ(result, kExtracted);
    EXPECT_EQ(ctx.tempDirectory, kTemp);
    EXPECT_THAT(extractionLog(), ElementsAre("extracting files", "Included files: 0"));
    EXPECT_FALSE(fake.files.hasFile(kTemp + "\\a.jar"));
}

TEST_F(IncludedFilesTest, ExtractsIntoANewTempDirectoryAndRemembersWhereTheRecordsEnd) {
    Bytes a = {0x00, 0xA7, 0xFF};
    Bytes b = bytesOf("PK\x03\x04!");
    install("2", "a.jar;user\\b.jar", concat({record(a), record(b), bytesOf("tail")}));
    ctx.tempDirectory.clear();
    EXPECT_EQ(extract(true), std::nullopt);
    EXPECT_EQ(result, kExtracted);
    const std::string temp = ctx.tempDirectory;
    ASSERT_THAT(temp, testing::StartsWith("C:\\Users\\a\\AppData\\Local\\Temp\\qvo"));
    EXPECT_TRUE(fake.files.hasDirectory(temp));
    EXPECT_TRUE(fake.files.hasDirectory(temp + "\\user"));
    EXPECT_EQ(fileBytes(temp + "\\a.jar"), a);
    EXPECT_EQ(fileBytes(temp + "\\user\\b.jar"), b);
    EXPECT_EQ(ctx.unextractedPosition, blockEnd + 8 + 3 + 8 + 5);
    EXPECT_THAT(fake.files.readOpens, ElementsAre(kModule));
    std::vector<std::string> log = extractionLog();
    ASSERT_GE(log.size(), 4u);
    std::vector<std::string> tail(log.end() - 4, log.end());
    EXPECT_THAT(tail, ElementsAre("extracting " + temp + "\\a.jar (size: 3)",
                                  "creating directory " + temp + "\\user",
                                  "extracting " + temp + "\\user\\b.jar (size: 5)",
                                  "extracting files done"));
    EXPECT_EQ(log[1], "Included files: 2");
}

TEST_F(IncludedFilesTest, EmptyAndNegativeSizesCreateNoFileAndReadNoContent) {
    const std::int64_t sizes[] = {0, -1, std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t size : sizes) {
        SCOPED_TRACE(size);
        fake.files.files.erase(test::widen(kTemp + "\\b"));
        Bytes b = bytesOf("bytes");
        install("2", "a;b", concat({ByteWriter().i64(size).bytes(), record(b)}));
        EXPECT_EQ(extract(), std::nullopt);
        EXPECT_EQ(result, kExtracted);
        EXPECT_FALSE(fake.files.hasFile(kTemp + "\\a"));
        EXPECT_EQ(fileBytes(kTemp + "\\b"), b);
        EXPECT_EQ(ctx.unextractedPosition, blockEnd + 8 + 8 + 5);
        EXPECT_THAT(logText(), HasSubstr("\nextracting " + kTemp +
                                         "\\a (size: " + std::to_string(size) + ")\n"));
    }
}

struct NameListCase {
    const char* count;
    const char* names;
    std::vector<std::string> extracted; // in the temp directory
    std::int64_t recordsPassed;         // records behind the block, each 8 + 1 bytes
};

TEST_F(IncludedFilesTest, TheCountAndTheNameListBoundEachOther) {
    const NameListCase cases[] = {
        {"2", "a;;b", {"a", "b"}, 2},
        {"2", ";;a;;;b;", {"a", "b"}, 2},
        {"3", "a;b", {"a", "b"}, 2},
        {"1", "a;b", {"a"}, 1},
        {"2 files", "a;b;c", {"a", "b"}, 2},
        {"-1", "a;b", {}, 0},
        {"5", ";;;", {}, 0},
    };
    for (const NameListCase& c : cases) {
        SCOPED_TRACE(std::string(c.count) + " / " + c.names);
        fake.files.files.clear();
        install(c.count, c.names,
                concat({record(bytesOf("1")), record(bytesOf("2")), record(bytesOf("3"))}));
        EXPECT_EQ(extract(), std::nullopt);
        EXPECT_EQ(result, kExtracted);
        std::vector<std::string> found;
        for (const char* name : {"a", "b", "c"}) {
            if (fake.files.hasFile(kTemp + "\\" + name))
                found.push_back(name);
        }
        EXPECT_EQ(found, c.extracted);
        EXPECT_EQ(ctx.unextractedPosition, blockEnd + 9 * c.recordsPassed);
        if (!c.extracted.empty()) {
            EXPECT_EQ(fileBytes(kTemp + "\\" + c.extracted.back()),
                      bytesOf(std::to_string(c.extracted.size())));
        }
    }
}

TEST_F(IncludedFilesTest, NegativeCountStillCreatesTheTempDirectory) {
    install("-2", "a", record(bytesOf("1")));
    ctx.tempDirectory.clear();
    EXPECT_EQ(extract(true), std::nullopt);
    EXPECT_EQ(result, kExtracted);
    EXPECT_TRUE(fake.files.hasDirectory(ctx.tempDirectory));
    EXPECT_EQ(ctx.unextractedPosition, blockEnd);
    EXPECT_THAT(fake.files.readOpens, ElementsAre(kModule));
    EXPECT_EQ(extractionLog().back(), "extracting files done");
}

TEST_F(IncludedFilesTest, ContentLargerThanEveryBufferIsCopiedWhole) {
    Bytes big = pattern(200001);
    install("2", "big.bin;after", concat({record(big), record(bytesOf("z"))}));
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(result, kExtracted);
    EXPECT_EQ(fileBytes(kTemp + "\\big.bin"), big);
    EXPECT_EQ(fileBytes(kTemp + "\\after"), bytesOf("z"));
    EXPECT_EQ(ctx.unextractedPosition, blockEnd + 8 + 200001 + 8 + 1);
}

TEST_F(IncludedFilesTest, ContentCutOffByTheEndOfTheFileIsAReadFailure) {
    Bytes cut = test::cut(record(bytesOf("0123456789")), 8 + 4);
    install("2", "a;b", concat({cut}));
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(result, kReadFailed);
    EXPECT_EQ(fileBytes(kTemp + "\\a"), bytesOf("0123")); // the partial file stays
    EXPECT_THAT(extractionLog(), ElementsAre("extracting files", "Included files: 2",
                                             "extracting " + kTemp + "\\a (size: 10)",
                                             "ERROR: ReadFile failed 0 0 4",
                                             "ERROR: Failed to extract " + kTemp + "\\a"));
    EXPECT_EQ(ctx.unextractedPosition, 0);
}

TEST_F(IncludedFilesTest, AFailingReadReportsItsErrorAndTheBytesCopiedSoFar) {
    Bytes big = pattern(150000);
    install("1", "big.bin", record(big));
    // The first read of the file succeeds; every later one fails.
    fake.files.files[kModule].readFailure = test::ReadFailure{1, 23};
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(result, kReadFailed);
    Bytes written = fileBytes(kTemp + "\\big.bin");
    ASSERT_GT(written.size(), 0u);
    ASSERT_LT(written.size(), big.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), big.begin()));
    EXPECT_THAT(logText(), HasSubstr("\nERROR: ReadFile failed 0 23 " +
                                     std::to_string(written.size()) + "\n"));
}

TEST_F(IncludedFilesTest, ASizeFieldCutOffEndsTheLauncher) {
    install("2", "a;b", concat({record(bytesOf("x")), test::cut(record(bytesOf("y")), 5)}));
    EXPECT_EQ(extract(), 1);
    EXPECT_EQ(shownMessage(), "Internal Error: readLong");
    EXPECT_FALSE(fake.files.hasDirectory(kTemp)); // the exit path removed it
}

TEST_F(IncludedFilesTest, AnUnopenableLauncherFileEndsTheLauncher) {
    install("1", "a", record(bytesOf("x")));
    fake.process.moduleFile = u"C:\\apps\\gone.exe";
    EXPECT_EQ(extract(), 1);
    EXPECT_EQ(shownMessage(),
              "Error opening media file. Please move this file to an ascii-only path like c:\\");
}

TEST_F(IncludedFilesTest, AFailedWriteReportsTheBytesStillToWrite) {
    install("1", "a", record(bytesOf("0123456789")));
    fake.files.writeLimit = 4; // the first write takes 4 of 10 bytes, the next one fails
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(result, kWriteFailed);
    EXPECT_THAT(extractionLog(), ElementsAre("extracting files", "Included files: 1",
                                             "extracting " + kTemp + "\\a (size: 10)",
                                             "ERROR: WriteFile failed 6 112",
                                             "ERROR: Failed to extract " + kTemp + "\\a"));
}

TEST_F(IncludedFilesTest, ATargetThatCannotBeCreatedEndsWithInternalError11) {
    install("1", "x\\y\\z.jar", record(bytesOf("z")));
    EXPECT_EQ(extract(), 1);
    EXPECT_EQ(shownMessage(), "An internal error occurred (error code: 11)");
    EXPECT_THAT(fake.files.createdDirectories, ElementsAre(kTemp + "\\x"));
    EXPECT_THAT(logText(), HasSubstr("\ncreating directory " + kTemp + "\\x\n"));
    EXPECT_FALSE(fake.files.hasDirectory(kTemp)); // emptied and removed on the way out
}

TEST_F(IncludedFilesTest, ADirectoryThatCannotBeCreatedIsOnlyLogged) {
    struct Case {
        const char* name;
        bool readOnlyTemp;     // refuses new directories, but not files in the existing "lib"
        const char* errorLine; // nullptr: no error line expected
    };
    const Case cases[] = {
        {"exists already", false, nullptr},
        {"access denied", true, "ERROR: failed to create directory "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.files.files.clear();
        fake.files.addDirectory(kTemp + "\\lib");
        if (c.readOnlyTemp) {
            fake.files.directories.erase(test::widen(kTemp + "\\user"));
            fake.files.readOnlyDirectories.insert(test::widen(kTemp));
        } else {
            fake.files.addDirectory(kTemp + "\\user");
        }
        // The record of the name whose directory fails is empty, so no file is needed there.
        install("2", "user\\empty.jar;lib\\top.jar", concat({record({}), record(bytesOf("t"))}));
        EXPECT_EQ(extract(), std::nullopt);
        EXPECT_EQ(result, kExtracted);
        EXPECT_EQ(fileBytes(kTemp + "\\lib\\top.jar"), bytesOf("t"));
        if (c.errorLine)
            EXPECT_THAT(logText(), HasSubstr(std::string("\n") + c.errorLine + kTemp + "\\user\n"));
        else
            EXPECT_THAT(logText(), Not(HasSubstr("ERROR")));
    }
}

TEST_F(IncludedFilesTest, NamesThatLeaveTheTempDirectoryAreNeverWritten) {
    const char* names[] = {"..\\evil", "C:\\x",    "\\x",    "a\\..\\..\\b", "/x",
                           "a/b",      "\\\\h\\s", ".",      "a\\",          "a\\\\b",
                           "NUL",      "com1.jar", "x\\aux", "a.jar:stream", ".. "};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        fake.files.files.clear();
        fake.files.createdDirectories.clear();
        fake.files.addDirectory(kTemp);
        install("2", std::string("ok.jar;") + name,
                concat({record(bytesOf("ok")), record(bytesOf("bad"))}));
        std::set<std::u16string> before = fileNames();
        EXPECT_EQ(extract(), 1);
        EXPECT_EQ(shownMessage(), "An internal error occurred (error code: 11)");
        EXPECT_THAT(logText(),
                    HasSubstr("\nERROR: refusing included file name " + std::string(name) + " ("));
        EXPECT_THAT(logText(), Not(HasSubstr("(size: 3)")));
        EXPECT_THAT(fake.files.createdDirectories, IsEmpty());
        // ok.jar was written and removed with the temp directory; nothing else ever existed.
        before.insert(kLogFile);
        EXPECT_EQ(fileNames(), before);
        EXPECT_FALSE(fake.files.hasDirectory(kTemp));
    }
}

TEST_F(IncludedFilesTest, WithoutATempDirectoryNothingIsWritten) {
    install("1", "a.jar", record(bytesOf("a")));
    ctx.tempDirectory.clear();
    EXPECT_EQ(extract(false), 1);
    EXPECT_EQ(shownMessage(), "An internal error occurred (error code: 11)");
    EXPECT_FALSE(fake.files.hasFile("\\a.jar"));
    EXPECT_THAT(logText(),
                HasSubstr("ERROR: refusing included file name a.jar (outside the temp directory)"));
}

TEST(IncludedFileName, AcceptsOnlyNamesThatStayInsideTheirDirectory) {
    for (const char* name : {"a.jar", "user\\lib.jar", "x\\y\\z.jar", "a..b", ".hidden",
                             "console.jar", "com10", "lpt", "nul_x", "caf\xE9.jar", "a b"})
        EXPECT_EQ(includedNameFault(name), std::nullopt) << name;
    const std::pair<const char*, std::string_view> refused[] = {
        {"", "no name"},
        {"\\x", "a rooted or UNC start"},
        {"\\\\server\\share\\x", "a rooted or UNC start"},
        {"C:\\x", "a drive or stream (':')"},
        {"C:x", "a drive or stream (':')"},
        {"a.jar:s", "a drive or stream (':')"},
        {"/x", "a '/'"},
        {"a/b", "a '/'"},
        {"a\\\\b", "an empty component"},
        {"a\\", "an empty component"},
        {"..\\evil", "a '.' or '..' component"},
        {"a\\..\\..\\b", "a '.' or '..' component"},
        {"a\\.", "a '.' or '..' component"},
        {"...", "a '.' or '..' component"},
        {". .", "a '.' or '..' component"},
        {"NUL", "a device name"},
        {"con.txt", "a device name"},
        {"user\\Aux.jar", "a device name"},
        {"LPT9", "a device name"},
        {"com\xB9", "a device name"},
        {"prn .x", "a device name"},
        {"CONOUT$", "a device name"},
    };
    for (const auto& [name, fault] : refused)
        EXPECT_EQ(includedNameFault(name), fault) << name;
}

} // namespace
} // namespace kwn::files
