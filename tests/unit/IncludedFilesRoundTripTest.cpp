// A launcher file made by the build tool, read and extracted by the launcher's own code: the two
// sides of the included-file format must agree byte for byte.
#include "config/ConfigReader.h"
#include "fake/FakePlatform.h"
#include "fake/LauncherImage.h"
#include "files/IncludedFiles.h"
#include "launcher/LaunchContext.h"
#include "tools/kwnbuild/LauncherBuild.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace kwn::files {
namespace {

using test::Bytes;

const std::u16string kModule = u"C:\\apps\\tool.exe";

// Source files on the real disk, where the build tool reads them; removed afterwards.
class SourceFiles {
public:
    SourceFiles()
        : root_(std::filesystem::temp_directory_path() /
                ("kwn-roundtrip-" + std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(root_);
    }
    ~SourceFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::string add(const std::string& name, const Bytes& content) {
        std::ofstream(root_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        return (root_ / name).string();
    }

private:
    std::filesystem::path root_;
};

TEST(IncludedFilesRoundTrip, WhatTheBuildToolStoresTheLauncherExtractsUnchanged) {
    SourceFiles sources;
    Bytes big(70001);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 13 + 5);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"a.jar", {0x00, 0xA7, 0xFF, 'a'}},
        {"user\\lib.jar", big},
        {"empty.txt", {}},
        {"caf\xE9.txt", {'c'}},
    };
    build::BuildRequest request;
    request.settings = {"1000=Error", "107=1"};
    request.includes = {"a.jar=" + sources.add("a", files[0].second),
                        "user/lib.jar=" + sources.add("lib", files[1].second),
                        "empty.txt=" + sources.add("empty", files[2].second),
                        "café.txt=" + sources.add("cafe", files[3].second)};
    build::ConfigModel model = build::collectConfig(request);
    Bytes launcher = build::assembleLauncher(test::buildLauncherImage({}).bytes, "stub", model);

    test::FakePlatform fake;
    fake.process.moduleFile = kModule;
    fake.files.addFile(kModule, launcher);
    fake.files.addDirectory(fake.files.systemTempPath);
    launcher::LaunchContext ctx(fake.platform());
    ASSERT_EQ(config::readConfigBlock(fake.files, kModule, ctx.log, ctx.config,
                                      [] { return std::string("en"); }),
              std::nullopt);
    int result = -1;
    ASSERT_EQ(test::exitCodeOf([&] { result = extractIncludedFiles(ctx, true); }), std::nullopt);
    EXPECT_EQ(result, kExtracted);

    ASSERT_FALSE(ctx.tempDirectory.empty());
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        auto it = fake.files.files.find(test::widen(ctx.tempDirectory + "\\" + name));
        if (content.empty()) {
            EXPECT_EQ(it, fake.files.files.end()); // an empty record creates no file
            continue;
        }
        ASSERT_NE(it, fake.files.files.end());
        EXPECT_EQ(it->second.bytes, content);
    }
    // The records end where the build tool put its end marker (E8 E4 13 D5).
    auto end = static_cast<std::size_t>(ctx.unextractedPosition);
    ASSERT_LE(end + 4, launcher.size());
    EXPECT_EQ(Bytes(launcher.begin() + end, launcher.begin() + end + 4),
              (Bytes{0xE8, 0xE4, 0x13, 0xD5}));
}

} // namespace
} // namespace kwn::files
