#include "tools/kwnbuild/IncludedFileRecords.h"

#include "ScratchDirectory.h"
#include "TestPeImage.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/LauncherBuild.h"
#include "tools/kwnbuild/ProgressLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace kwn::build {
namespace {

using test::getLittleEndian;
using test::ScratchDirectory;
using Bytes = std::vector<unsigned char>;

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BuildError& error) {
        return error.what();
    }
    return "(accepted)";
}

// Every byte value, in an order that repeats only after many chunks.
Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 31 + i / 65521) & 0xFF);
    return bytes;
}

Bytes unscrambled(const Bytes& file, std::size_t offset, std::size_t size) {
    Bytes content(file.begin() + offset, file.begin() + offset + size);
    for (unsigned char& byte : content)
        byte ^= 0xA7;
    return content;
}

// Remembers how the bytes arrived, so a test can see that content is written in chunks.
class RecordingSink : public ByteSink {
public:
    void write(std::span<const unsigned char> bytes) override {
        writes.push_back(bytes.size());
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    std::vector<std::size_t> writes;
    Bytes all;
};

TEST(IncludedFileRecords, RecordsFollowTheBlockInNameOrderAndPrecedeTheTrailer) {
    ScratchDirectory dir;
    BuildRequest request;
    request.includes = {"b.jar=" + dir.write("b", std::string("AB")).string(),
                        "user/a.jar=" + dir.write("a", Bytes{0x00, 0xA7, 0xFF}).string(),
                        "empty=" + dir.write("e", std::string()).string()};
    ConfigModel model = collectConfig(request);
    Bytes stub = test::makeStub();
    Bytes launcher = assembleLauncher(stub, "stub.exe", model);

    Bytes block = encodeConfigBlock(model);
    EXPECT_EQ(model.narrow.at(2002), "3");
    EXPECT_EQ(model.narrow.at(2003), "b.jar;user\\a.jar;empty");
    ASSERT_TRUE(std::equal(block.begin(), block.end(), launcher.begin() + stub.size()));
    const Bytes records = {2,    0,    0,    0,   0, 0, 0, 0, 'A' ^ 0xA7, 'B' ^ 0xA7, // b.jar
                           3,    0,    0,    0,   0, 0, 0, 0, 0xA7,       0x00,
                           0x58,                              // user\a.jar
                           0,    0,    0,    0,   0, 0, 0, 0, // empty
                           0xE8, 0xE4, 0x13, 0xD5};           // the trailer
    std::size_t recordStart = stub.size() + block.size();
    ASSERT_GE(launcher.size(), recordStart + records.size());
    EXPECT_EQ(
        Bytes(launcher.begin() + recordStart, launcher.begin() + recordStart + records.size()),
        records);
    EXPECT_EQ(launcher.size() % 512, 0u);
    EXPECT_TRUE(std::all_of(launcher.begin() + recordStart + records.size(), launcher.end(),
                            [](unsigned char b) { return b == 0; }));
}

TEST(IncludedFileRecords, LargeContentIsStreamedInChunksAndComesBackByteForByte) {
    ScratchDirectory dir;
    const std::size_t size = 3 * kRecordChunk + 17;
    Bytes content = pattern(size);
    IncludedFile file{"big.bin", dir.write("big.bin", content), "#1"};
    RecordingSink sink;
    writeIncludedRecord(sink, file, size, nullptr);
    ASSERT_EQ(sink.all.size(), kRecordSizeField + size);
    EXPECT_EQ(getLittleEndian(sink.all, 0, 8), size);
    EXPECT_EQ(unscrambled(sink.all, kRecordSizeField, size), content);
    // The size field, then content pieces no larger than one chunk.
    ASSERT_GE(sink.writes.size(), 5u);
    EXPECT_EQ(sink.writes[0], kRecordSizeField);
    EXPECT_LE(*std::max_element(sink.writes.begin() + 1, sink.writes.end()), kRecordChunk);
}

TEST(IncludedFileRecords, ASourceThatChangedSizeSinceItWasMeasuredFailsTheBuild) {
    ScratchDirectory dir;
    IncludedFile file{"a", dir.write("a", std::string("12345")), "#1"};
    for (std::uint64_t measured : {4u, 6u}) {
        RecordingSink sink;
        EXPECT_NE(errorOf([&] {
                      writeIncludedRecord(sink, file, measured, nullptr);
                  }).find("changed while the launcher was built"),
                  std::string::npos)
            << measured;
    }
}

TEST(IncludedFileRecords, ProgressIsShownOnlyForInputsAboveTheThreshold) {
    ScratchDirectory dir;
    for (std::size_t size :
         {std::size_t{kProgressThreshold}, std::size_t{kProgressThreshold + 1}}) {
        IncludedFile file{"f", dir.write("f", pattern(size)), "#1"};
        std::ostringstream progress;
        RecordingSink sink;
        writeIncludedRecord(sink, file, size, &progress);
        if (size <= kProgressThreshold) {
            EXPECT_EQ(progress.str(), "");
        } else {
            std::string shown = progress.str();
            std::string prefix = "\rkwnbuild: including " + (dir / "f").string() + ": ";
            EXPECT_EQ(shown.rfind(prefix + "0%", 0), 0u) << shown;
            EXPECT_NE(shown.find(prefix + "100%\n"), std::string::npos) << shown;
            EXPECT_EQ(shown.back(), '\n');
        }
    }
}

TEST(IncludedFileRecords, AFailedBuildLeavesNoOutputBehind) {
    struct Case {
        std::string include;
        const char* message;
    };
    const Case cases[] = {
        {"a.jar=missing.jar", "cannot read included file '"},
        {"a.jar=sub", "not a regular file"},
        {"a.jar=ok.jar", nullptr}, // the control: the same set-up builds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.include);
        ScratchDirectory dir;
        std::filesystem::create_directory(dir / "sub");
        dir.write("ok.jar", std::string("ok"));
        BuildRequest request{dir.write("stub.exe", test::makeStub()), dir / "app.exe", {}};
        std::size_t equals = c.include.find('=');
        request.includes = {c.include.substr(0, equals + 1) +
                            (dir / c.include.substr(equals + 1)).string()};
        std::set<std::string> before = dir.names();
        std::string error = errorOf([&] { buildLauncher(request); });
        if (!c.message) {
            EXPECT_EQ(error, "(accepted)");
            EXPECT_TRUE(std::filesystem::exists(dir / "app.exe"));
            continue;
        }
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_NE(error.find("--include a.jar="), std::string::npos) << error;
        EXPECT_EQ(dir.names(), before);
    }
}

TEST(IncludedFileRecords, LaunchersThatTheLauncherCouldNotAddressAreRefused) {
    ScratchDirectory dir;
    std::filesystem::path huge = dir.write("huge", std::string());
    // Sparse, so the test needs no disk space: 2 GiB of content cannot follow any block.
    std::filesystem::resize_file(huge, std::uint64_t{1} << 31);
    BuildRequest request{dir.write("stub.exe", test::makeStub()), dir / "app.exe", {}};
    request.includes = {"huge=" + huge.string()};
    std::set<std::string> before = dir.names();
    EXPECT_EQ(errorOf([&] { buildLauncher(request); }),
              "the launcher would exceed 2 GiB, more than the launcher can address");
    EXPECT_EQ(dir.names(), before);
}

} // namespace
} // namespace kwn::build
