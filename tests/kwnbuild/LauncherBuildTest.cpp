#include "tools/kwnbuild/LauncherBuild.h"

#include "ScratchDirectory.h"
#include "TestPeImage.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"

#include <gtest/gtest.h>

namespace kwn::build {
namespace {

using test::getLittleEndian;
using test::ScratchDirectory;
using Bytes = std::vector<unsigned char>;

// Where the launcher's header walk lands: behind the raw data of the last section-table entry.
std::size_t launcherBlockStart(const Bytes& file) {
    std::size_t pe = getLittleEndian(file, 60, 4);
    std::size_t last =
        pe + getLittleEndian(file, pe + 20, 2) + 40 * getLittleEndian(file, pe + 6, 2) - 16;
    return getLittleEndian(file, last + 16, 4) + getLittleEndian(file, last + 20, 4);
}

TEST(LauncherBuild, LauncherIsStubThenBlockThenTrailerOnA512Boundary) {
    Bytes stub = test::makeStub();
    ConfigModel model;
    model.narrow[103] = "error.log";
    Bytes launcher = assembleLauncher(stub, "stub.exe", model);
    Bytes block = encodeConfigBlock(model);
    std::size_t blockStart = launcherBlockStart(launcher);
    ASSERT_EQ(blockStart, stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), launcher.begin()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), launcher.begin() + blockStart));
    EXPECT_EQ(getLittleEndian(launcher, blockStart + block.size(), 4), kBlockTrailer);
    EXPECT_EQ(launcher.size(), 1024u);
}

TEST(LauncherBuild, WritesTheLauncherOverAnEarlierOne) {
    ScratchDirectory dir;
    dir.write("app.exe", std::string("an earlier build"));
    buildLauncher({dir.write("stub.exe", test::makeStub()), dir / "app.exe", {}, {"7=x"}});
    ConfigModel model;
    model.narrow[7] = "x";
    EXPECT_EQ(ScratchDirectory::read(dir / "app.exe"),
              assembleLauncher(test::makeStub(), "", model));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"app.exe", "stub.exe"}));
}

TEST(LauncherBuild, FailedBuildLeavesNoOutputNoTemporaryFileAndOtherFilesIntact) {
    struct Case {
        Bytes stub;
        std::string toml;
        std::vector<std::string> settings;
        std::string output;
        const char* message;
    };
    Bytes stub = test::makeStub();
    const Case cases[] = {
        {Bytes(300, 'x'), "", {}, "o.exe", "stub '"},
        {assembleLauncher(stub, "", {}), "", {}, "o.exe", "bytes follow the last section"},
        {stub, "[settings", {}, "o.exe", "app.toml:1:"},
        {stub, "", {"1=ok", "107"}, "o.exe", "--set 107: expected KEY=VALUE"},
        {stub, "", {}, "./stub.exe", "is the stub itself"},
        {stub, "", {}, "dir", "cannot replace"}, // fails after the temporary file was written
        {Bytes{'M', 'Z'}, "", {}, "earlier.exe", "no MZ header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ScratchDirectory dir;
        std::filesystem::create_directory(dir / "dir");
        dir.write("earlier.exe", std::string("an earlier build"));
        BuildRequest request{dir.write("stub.exe", c.stub), dir / c.output,
                             dir.write("app.toml", c.toml), c.settings};
        std::set<std::string> before = dir.names();
        try {
            buildLauncher(request);
            ADD_FAILURE() << "built";
        } catch (const BuildError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
        EXPECT_EQ(dir.names(), before);
        EXPECT_EQ(ScratchDirectory::read(request.stub), c.stub);
        EXPECT_EQ(ScratchDirectory::read(dir / "earlier.exe").size(), 16u);
    }
}

} // namespace
} // namespace kwn::build
