// A launcher file is anyone's to edit: whatever its headers and block hold, reading it ends in
// the tables or in a failure text, and the getters answer for every key.
#include "FuzzInput.h"
#include "config/ConfigReader.h"
#include "fake/FakePlatform.h"

#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kwn;
    const std::u16string launcher = u"C:\\apps\\tool\\run.exe";
    test::FakePlatform fake;
    fake.files.addFile(launcher, std::vector<unsigned char>(data, data + size));
    diag::NativeLog log(fake.platform());
    config::ConfigBlock block;
    std::optional<std::string> failure =
        config::readConfigBlock(fake.files, launcher, log, block, [] { return "de_AT"; });
    if (failure && failure->empty())
        fuzz::fail("a failure without a text");
    // The keys the launcher's own tables use, and their neighbours.
    for (int first : {0, 100, 1000, 2000, 10000})
        for (config::Key key = first; key < first + 40; ++key) {
            if (block.getString(key).size() >= config::kTextCapacity ||
                block.getWString(key, 2).size() > 1)
                fuzz::fail("a value longer than its capacity");
            block.getInt(key);
            block.getColor(key);
        }
    return 0;
}
