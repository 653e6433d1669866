// Stand-in for the programs of a runtime's bin directory, copied there as java.exe, javaw.exe and
// unpack200.exe. Every start appends its command line to invocations.log beside it, so that a
// test can count probes and unpacks. As java.exe it writes banner.txt from beside it to standard
// error, as a runtime prints its version. As unpack200.exe, started with -r "<pack>" "<jar>" as
// its whole command line, it "unpacks" by copying the pack to the jar.
#include "StandinFiles.h"

int main() {
    std::string self = kwn::standin::modulePath(nullptr);
    std::string directory = kwn::standin::directoryOf(self);
    std::string commandLine = GetCommandLineA();
    kwn::standin::appendLine(directory + "invocations.log", commandLine);
    if (self.ends_with("unpack200.exe")) {
        // The last two quoted words: opening and closing quotes of the pack, then of the jar.
        size_t quotes[4];
        size_t end = commandLine.size();
        for (size_t& quote : quotes) {
            quote = end == 0 ? std::string::npos : commandLine.rfind('"', end - 1);
            if (quote == std::string::npos)
                return 2;
            end = quote;
        }
        std::string jar = commandLine.substr(quotes[1] + 1, quotes[0] - quotes[1] - 1);
        std::string pack = commandLine.substr(quotes[3] + 1, quotes[2] - quotes[3] - 1);
        return CopyFileA(pack.c_str(), jar.c_str(), FALSE) ? 0 : 1;
    }
    HANDLE file = CreateFileA((directory + "banner.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char banner[4096];
    DWORD read = 0;
    if (file == INVALID_HANDLE_VALUE || !ReadFile(file, banner, sizeof banner, &read, nullptr))
        return 2;
    CloseHandle(file);
    kwn::standin::writeStandardError(std::string(banner, read));
    return 0;
}
