#include "tools/kwnbuild/TomlPrecheck.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/TextEncoding.h"

#include <cstdio>

namespace kwn::build {

namespace {
enum class State { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool startsName(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '"' || c == '\'';
}

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

// Follows strings, comments and the nesting of values just far enough to know where a line
// starts an expression and what is text; anything it cannot follow is the parser's to refuse.
// Where its idea of the text parts from the parser's, the parser still sees ASCII only.
class Scanner {
public:
    Scanner(std::string_view text, const std::string& source) : text_(text), source_(source) {}

    std::string run() {
        if (text_.starts_with(kByteOrderMark))
            at_ = kByteOrderMark.size();
        for (; at_ < text_.size(); ++at_) {
            char c = text_[at_];
            if (c == '\n')
                newLine();
            else if (state_ == State::Code)
                code(c);
            else if (state_ == State::Comment)
                put(isAscii(c) ? std::string_view(&text_[at_], 1) : " ");
            else
                inString(c);
        }
        endLiteral(false);
        return out_;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw BuildError(source_ + ":" + std::to_string(line_) + ": " + what);
    }

    bool inLiteral() const { return state_ == State::Literal || state_ == State::MultiLiteral; }

    // Text goes out at once, except a literal string's: it is kept in both spellings until its
    // end shows whether it held non-ASCII text and must become a basic string.
    void put(std::string_view ascii) { putBoth(ascii, ascii); }

    void putBoth(std::string_view asWritten, std::string_view asBasic) {
        if (inLiteral()) {
            literal_ += asWritten;
            literalAsBasic_ += asBasic;
        } else {
            out_ += asWritten;
        }
    }

    void endLiteral(bool closed) {
        if (!literalAsBasic_.empty())
            out_ += literalHasNonAscii_ || !closed ? literalAsBasic_ : literal_;
        literal_.clear();
        literalAsBasic_.clear();
        literalHasNonAscii_ = false;
    }

    bool follows(std::string_view what) const { return text_.substr(at_).starts_with(what); }

    void newLine() {
        ++line_;
        // Single-line strings and comments end here; the parser refuses an unclosed string.
        if (state_ != State::MultiBasic && state_ != State::MultiLiteral) {
            if (state_ == State::Literal)
                endLiteral(false);
            state_ = State::Code;
        }
        put("\n");
        if (state_ == State::Code && depth_ == 0) {
            lineStart_ = true;
            inHeader_ = false;
        }
    }

    // One UTF-8 sequence as the escape that writes it in a basic string.
    std::string escapedCodePoint() {
        auto lead = static_cast<unsigned char>(text_[at_]);
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::optional<std::u32string> decoded = decodeUtf8(text_.substr(at_, length));
        if (!decoded || decoded->size() != 1)
            fail("the text is not valid UTF-8");
        at_ += length - 1;
        char escape[16];
        auto codePoint = static_cast<unsigned>(decoded->front());
        std::snprintf(escape, sizeof escape, codePoint > 0xFFFF ? "\\U%08X" : "\\u%04X", codePoint);
        return escape;
    }

    void inString(char c) {
        bool basic = !inLiteral();
        if (!isAscii(c)) {
            std::string escape = escapedCodePoint();
            literalHasNonAscii_ = literalHasNonAscii_ || !basic;
            putBoth(basic ? escape : "?", escape); // the literal's own spelling is never used
        } else if (basic && c == '\\') {
            escaped();
        } else if (c == (basic ? '"' : '\'')) {
            endString(basic ? "\"\"\"" : "'''");
        } else if (!basic && (c == '\\' || c == '"')) {
            putBoth(std::string_view(&text_[at_], 1), c == '\\' ? "\\\\" : "\\\"");
        } else {
            put(std::string_view(&text_[at_], 1));
        }
    }

    // An escaped quote or backslash does not end the string; a line end keeps its count. The
    // character behind the backslash stays as written: an escape of a non-ASCII character is
    // no escape, and writing it as one would change what the string means.
    void escaped() {
        put("\\");
        if (at_ + 1 >= text_.size() || text_[at_ + 1] == '\n')
            return;
        if (!isAscii(text_[at_ + 1]))
            fail("a non-ASCII character behind a backslash is no escape");
        ++at_;
        put(std::string_view(&text_[at_], 1));
    }

    void endString(std::string_view delimiter) {
        bool multiLine = state_ == State::MultiBasic || state_ == State::MultiLiteral;
        if (multiLine && !follows(delimiter)) {
            put(delimiter.substr(0, 1));
            return;
        }
        std::size_t quotes = multiLine ? 3 : 1;
        // Up to two more quotes belong to the text in front of the delimiter.
        for (int extra = 0; multiLine && extra < 2 && at_ + quotes < text_.size() &&
                            text_[at_ + quotes] == delimiter[0];
             ++extra)
            put(delimiter.substr(0, 1)), ++at_;
        putBoth(delimiter.substr(0, quotes), std::string_view("\"\"\"").substr(0, quotes));
        at_ += quotes - 1;
        bool wasLiteral = inLiteral();
        state_ = State::Code;
        if (wasLiteral)
            endLiteral(true);
    }

    void openString(char quote) {
        std::string_view triple = quote == '"' ? "\"\"\"" : "'''";
        bool multiLine = follows(triple);
        state_ = quote == '"' ? (multiLine ? State::MultiBasic : State::Basic)
                              : (multiLine ? State::MultiLiteral : State::Literal);
        std::size_t quotes = multiLine ? 3 : 1;
        putBoth(triple.substr(0, quotes), std::string_view("\"\"\"").substr(0, quotes));
        at_ += quotes - 1;
    }

    // In valid text a string starts a line, a key part or a value; anywhere else the parser's
    // idea of where strings are would part from ours.
    bool mayOpenString() const {
        if (lineStart_ || at_ == 0)
            return true;
        char before = text_[at_ - 1];
        return before == ' ' || before == '\t' || before == '=' || before == '[' || before == '{' ||
               before == ',' || before == '.';
    }

    void header() {
        std::size_t name = at_ + 1;
        if (name < text_.size() && text_[name] == '[')
            ++name;
        while (name < text_.size() && (text_[name] == ' ' || text_[name] == '\t'))
            ++name;
        if (name >= text_.size() || !startsName(text_[name]))
            fail("a table header must start with a name (letters, digits, '_', '-' or a quoted "
                 "name)");
        inHeader_ = true;
        put(text_.substr(at_, name - at_));
        at_ = name - 1;
    }

    void code(char c) {
        if (!isAscii(c))
            fail("a non-ASCII character outside a string or comment; quote a name that needs one");
        bool blank = c == ' ' || c == '\t' || c == '\r';
        bool quote = c == '"' || c == '\'';
        if (quote && !mayOpenString())
            fail("a quote directly behind a value or name; separate them");
        if (quote) {
            openString(c);
        } else if (c == '[' && lineStart_ && depth_ == 0 && !inHeader_) {
            header();
        } else {
            if (c == '#')
                state_ = State::Comment;
            else if ((c == '[' || c == '{') && !inHeader_)
                ++depth_;
            else if ((c == ']' || c == '}') && !inHeader_ && depth_ > 0)
                --depth_;
            put(std::string_view(&text_[at_], 1));
        }
        if (!blank)
            lineStart_ = false;
    }

    std::string_view text_;
    const std::string& source_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    State state_ = State::Code;
    std::size_t depth_ = 0; // open arrays and inline tables of a value
    bool lineStart_ = true;
    bool inHeader_ = false;
    std::string out_;
    std::string literal_, literalAsBasic_;
    bool literalHasNonAscii_ = false;
};
} // namespace

std::string asciiToml(std::string_view text, const std::string& sourceName) {
    return Scanner(text, sourceName).run();
}

} // namespace kwn::build
