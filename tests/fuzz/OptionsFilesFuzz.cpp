// VM options files include one another by any spelling a user writes. Whatever they say, no
// file may be opened again while it is still being read: Windows gives many spellings to one
// file, and each reading of it multiplies the options and the time a start takes.
#include "FuzzInput.h"
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "windows/VmOptions.h"

#include <map>
#include <set>

namespace {
using namespace kwn;

// Files found by their Windows identity, so that every spelling of a name opens the same file.
class SpellingFiles : public test::FakeFiles {
public:
    std::unique_ptr<platform::TextReader> openTextForReading(const std::u16string& path) override {
        std::u16string identity = fuzz::windowsIdentity(path, currentDirectory);
        auto file = contents.find(identity);
        if (file == contents.end())
            return nullptr;
        if (!reading.insert(identity).second)
            fuzz::fail("opened while still being read: " + test::narrow(path));
        return std::make_unique<Reader>(file->second,
                                        [this, identity] { reading.erase(identity); });
    }
    void add(const std::u16string& path, std::string text) {
        contents[fuzz::windowsIdentity(path, currentDirectory)] = std::move(text);
    }

private:
    class Reader : public platform::TextReader {
    public:
        Reader(const std::string& text, std::function<void()> closed)
            : text_(text), closed_(std::move(closed)) {}
        ~Reader() override { closed_(); }
        std::optional<std::string> readLine(std::size_t maxChars) override {
            if (position_ >= text_.size())
                return std::nullopt;
            std::size_t end = std::min(text_.find('\n', position_), text_.size() - 1);
            std::size_t length = std::min(end + 1 - position_, maxChars);
            position_ += length;
            return text_.substr(position_ - length, length);
        }

    private:
        const std::string& text_;
        std::function<void()> closed_;
        std::size_t position_ = 0;
    };

    std::map<std::u16string, std::string> contents;
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
