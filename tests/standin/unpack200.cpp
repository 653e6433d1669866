// Stand-in for a runtime's unpack200.exe: started as -r "<pack>" "<jar>", it "unpacks" by
// copying the pack to the jar, and records its command line in invocations.log beside it.
// The launcher starts it with the argument string alone as its command line, so the C
// runtime's argv (which takes the first word for the program) is not used.
#include "StandinFiles.h"

#include <string>
#include <vector>

namespace {

// Words separated by blanks; a double-quoted stretch is one word without its quotes.
std::vector<std::string> words(const std::string& commandLine) {
    std::vector<std::string> result;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                result.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        result.push_back(word);
    return result;
}

} // namespace

int main() {
    std::string commandLine = GetCommandLineA();
    kwn::standin::appendLine(kwn::standin::moduleDirectory(nullptr) + "invocations.log",
                             commandLine);
    std::vector<std::string> arguments = words(commandLine);
    // Whatever came in front, the pack and the jar are the last two words behind a "-r".
    if (arguments.size() < 3 || arguments[arguments.size() - 3] != "-r")
        return 2;
    const std::string& pack = arguments[arguments.size() - 2];
    const std::string& jar = arguments[arguments.size() - 1];
    return CopyFileA(pack.c_str(), jar.c_str(), FALSE) ? 0 : 1;
}
