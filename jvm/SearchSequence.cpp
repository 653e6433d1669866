#include "jvm/SearchSequence.h"

namespace kwn::jvm {

std::vector<std::string> splitList(const std::string& list) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            pieces.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::vector<SearchEntry> parseSearchSequence(const std::string& sequence) {
    std::vector<SearchEntry> entries;
    for (const std::string& piece : splitList(sequence))
        entries.push_back({piece[0], piece.substr(1)});
    return entries;
}

bool isAbsoluteEntryText(const std::string& text) {
    return text.size() > 1 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
}

} // namespace kwn::jvm
