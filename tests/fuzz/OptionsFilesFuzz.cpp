// VM options files include one another by any spelling a user writes. Whatever they say, no
// file may be opened again while it is still being read: Windows gives many spellings to one
// file, and each reading of it multiplies the options and the time a start takes.
#include "FuzzInput.h"
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "windows/VmOptions.h"

#include <set>

namespace {
using namespace kwn;

// Files kept under their Windows identity, so that every spelling of a name opens the same file.
class SpellingFiles : public test::FakeFiles {
public:
    std::unique_ptr<platform::TextReader> openTextForReading(const std::u16string& path) override {
        // Windows opens no file by a name that ends in a separator.
        if (path.ends_with(u'\\') || path.ends_with(u'/'))
            return nullptr;
        std::u16string identity = fuzz::windowsIdentity(path, currentDirectory);
        std::unique_ptr<platform::TextReader> reader = FakeFiles::openTextForReading(identity);
        if (!reader)
            return nullptr;
        if (!reading.insert(identity).second)
            fuzz::fail("opened while still being read: " + test::narrow(path));
        return std::make_unique<Watched>(std::move(reader),
                                         [this, identity] { reading.erase(identity); });
    }
    void add(const std::u16string& path, std::string_view text) {
        addFile(fuzz::windowsIdentity(path, currentDirectory), text);
    }

private:
    // Tells when the logic closes the file.
    class Watched : public platform::TextReader {
    public:
        Watched(std::unique_ptr<platform::TextReader> file, std::function<void()> closed)
            : file_(std::move(file)), closed_(std::move(closed)) {}
        ~Watched() override { closed_(); }
        std::optional<std::string> readLine(std::size_t maxChars) override {
            return file_->readLine(maxChars);
        }

    private:
        std::unique_ptr<platform::TextReader> file_;
        std::function<void()> closed_;
    };

    std::set<std::u16string> reading;
};
} // namespace

// Fields: the options file beside the launcher, then pairs of a name (relative to the launcher's
// directory, or absolute) and the content of that file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    test::FakePlatform fake;
    SpellingFiles disk;
    platform::Platform os = fuzz::withDisk(fake, disk);
    fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    disk.currentDirectory = u"C:\\apps\\tool";
    disk.add(u"run.vmoptions", input.field());
    for (int i = 0; i < 4 && !input.empty(); ++i) {
        std::u16string name = fuzz::widenLatin1(input.field());
        disk.add(name, input.field());
    }
    launcher::LaunchContext ctx(os);
    windows::VmOptionList options;
    windows::ClassPathOverrides overrides;
    windows::readVmOptionsFile(ctx, windows::openDefaultVmOptionsFile(ctx), std::nullopt, options,
                               overrides);
    return 0;
}
