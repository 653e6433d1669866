// The process command line and every configured option string pass one tokeniser.
#include "FuzzInput.h"
#include "launcher/CommandLine.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kwn::fuzz::FuzzInput input(data, size);
    std::u16string text = input.wideRest();
    std::vector<std::u16string> tokens;
    kwn::launcher::splitCommandLine(text, tokens);
    // Without quotes, the tokens are exactly the runs between blanks.
    if (text.find_first_of(u"\"'") != std::u16string::npos)
        return 0;
    std::vector<std::u16string> runs;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.find(u' ', start), text.size());
        if (end > start)
            runs.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (tokens != runs)
        kwn::fuzz::fail("unquoted text not split at its blanks");
    return 0;
}
