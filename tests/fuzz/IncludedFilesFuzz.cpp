// Included files are written where the names in the launcher file say. Whatever the names and
// records hold, nothing may be created outside the launcher temp directory.
#include "FuzzInput.h"
#include "fake/FakePlatform.h"
#include "files/IncludedFiles.h"
#include "launcher/LaunchContext.h"

namespace {
using namespace kwn;

// Records every place the logic asks to write once the temp directory exists, for the oracle to
// judge by Windows' rules.
class WatchedFiles : public test::FakeFiles {
public:
    std::unique_ptr<platform::WritableFile> createForWriting(const std::string& path,
                                                             std::uint32_t& error) override {
        watch(path);
        return FakeFiles::createForWriting(path, error);
    }
    std::uint32_t createDirectory(const std::string& path) override {
        watch(path);
        return FakeFiles::createDirectory(path);
    }

    const std::string* temp = nullptr; // the context's launcher temp directory

private:
    void watch(const std::string& path) {
        if (!temp || temp->empty())
            return;
        std::u16string inside = fuzz::windowsIdentity(fuzz::widenLatin1(*temp), u"c:") + u"\\";
        if (!fuzz::windowsIdentity(fuzz::widenLatin1(path), u"c:").starts_with(inside))
            fuzz::fail("written outside the temp directory: " + path);
    }
};
} // namespace

// Fields: the names (key 2003), the count (key 2002), then the records as the launcher file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    std::string names = input.field(), count = input.field(), records = input.field();
    test::FakePlatform fake;
    WatchedFiles disk;
    platform::Platform os = fuzz::withDisk(fake, disk);
    fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    disk.addFile(fake.process.moduleFile, records);
    disk.addDirectory(disk.systemTempPath);
    launcher::LaunchContext ctx(os);
    disk.temp = &ctx.tempDirectory;
    ctx.config.setNarrow(config::key::kIncludedFileNames, names);
    ctx.config.setNarrow(config::key::kIncludedFileCount, count);
    try {
        files::extractIncludedFiles(ctx, true);
    } catch (const test::ExitCalled&) {
    }
    return 0;
}
