#pragma once
// The configured search sequence: typed entries such as "B.\jre;Y;EJAVA_HOME;", and the
// ";"-separated lists the search reads in the same way.
#include <string>
#include <vector>

namespace kwn::jvm {

struct SearchEntry {
    char letter = '\0'; // A, B, R directory; E variable; S search path; Y registry
    std::string text;   // what follows the letter, possibly empty
};

// The non-empty pieces of a ";"-separated text, in order: "a;;b;" holds "a" and "b".
std::vector<std::string> splitList(const std::string& list);

// One entry per non-empty piece; its first character is the letter.
std::vector<SearchEntry> parseSearchSequence(const std::string& sequence);

// The fallback pass has its own, looser rule: "x:" anything, or a leading "\\".
bool isAbsoluteEntryText(const std::string& text);

} // namespace kwn::jvm
