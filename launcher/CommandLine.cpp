#include "launcher/CommandLine.h"

namespace kwn::launcher {

namespace {
constexpr auto npos = std::u16string::npos;

// The earlier of the two quotes that occur; npos when neither does.
size_t firstQuote(size_t doubleQuote, size_t singleQuote) {
    if (singleQuote == npos)
        return doubleQuote;
    if (doubleQuote == npos)
        return singleQuote;
    return doubleQuote < singleQuote ? doubleQuote : singleQuote;
}
} // namespace

void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& list) {
    size_t start = 0;
    while (start < text.size()) {
        if (text[start] == u' ') {
            ++start;
            continue;
        }
        size_t blank = text.find(u' ', start);
        size_t quote = firstQuote(text.find(u'"', start), text.find(u'\'', start));
        if (blank != npos && (quote == npos || blank < quote)) {
            list.push_back(text.substr(start, blank - start));
            start = blank + 1;
        } else if (quote == npos) {
            list.push_back(text.substr(start));
            break;
        } else {
            size_t close = text.find(text[quote], quote + 1);
            if (close == npos)
                close = text.size();
            list.push_back(text.substr(start, quote - start) +
                           text.substr(quote + 1, close - quote - 1));
            start = close + 1;
            if (start < text.size() && text[start] == u' ')
                ++start;
        }
    }
}

} // namespace kwn::launcher
