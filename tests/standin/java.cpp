// Stand-in for a runtime's java.exe (and, copied, javaw.exe): prints the version banner that the
// test configured and ends as told, recording every start so that a test can count probes.
//
// standin.cfg beside the program, one "key=value" per line, read afresh at every start:
//   before=TEXT   a line written before the banner (repeatable), e.g. "Picked up ..." notes
//   banner=TEXT   the banner line itself, e.g. java version "1.8.0_292"
//   after=TEXT    a line written after the banner (repeatable)
//   exit=N        the exit code (default 0)
//   hang=N        seconds to sleep before exiting (default 0)
//   eol=crlf      end lines in CR LF as a Windows runtime does (default: LF only)
// Lines go to standard error byte for byte; invocations.log beside the program gets the
// command line of every start.
#include "StandinFiles.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Behaviour {
    std::vector<std::string> lines; // in the order they are written
    unsigned exitCode = 0;
    unsigned hangSeconds = 0;
    std::string lineEnd = "\n";
};

Behaviour readBehaviour(const std::string& text) {
    Behaviour behaviour;
    std::vector<std::string> after;
    std::string banner;
    bool hasBanner = false;
    for (const auto& [key, value] : kwn::standin::readSettings(text)) {
        if (key == "before")
            behaviour.lines.push_back(value);
        else if (key == "banner")
            banner = value, hasBanner = true;
        else if (key == "after")
            after.push_back(value);
        else if (key == "exit")
            behaviour.exitCode = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "hang")
            behaviour.hangSeconds = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "eol" && value == "crlf")
            behaviour.lineEnd = "\r\n";
    }
    if (hasBanner)
        behaviour.lines.push_back(banner);
    behaviour.lines.insert(behaviour.lines.end(), after.begin(), after.end());
    return behaviour;
}

void writeError(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

} // namespace

int main() {
    std::string directory = kwn::standin::moduleDirectory(nullptr);
    // Recorded first: a probe that the launcher ends from outside still counts.
    kwn::standin::appendLine(directory + "invocations.log", GetCommandLineA());
    std::string configuration = kwn::standin::readWholeFile(directory + "standin.cfg");
    if (configuration.empty()) {
        writeError("standin.cfg missing or empty beside the stand-in\n");
        return 2;
    }
    Behaviour behaviour = readBehaviour(configuration);
    std::string output;
    for (const std::string& line : behaviour.lines)
        output += line + behaviour.lineEnd;
    writeError(output);
    if (behaviour.hangSeconds > 0)
        Sleep(behaviour.hangSeconds * 1000);
    return static_cast<int>(behaviour.exitCode);
}
