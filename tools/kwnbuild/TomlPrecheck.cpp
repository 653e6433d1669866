#include "tools/kwnbuild/TomlPrecheck.h"

#include "tools/kwnbuild/BuildError.h"

namespace kwn::build {

namespace {
enum class State { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool startsName(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '"' || c == '\'';
}

// Follows strings, comments and the nesting of values just far enough to know where a line
// starts an expression; anything it cannot follow is the parser's to refuse.
class Scanner {
public:
    Scanner(std::string_view text, const std::string& source) : text_(text), source_(source) {}

    void run() {
        if (text_.starts_with(kByteOrderMark))
            at_ = kByteOrderMark.size();
        for (; at_ < text_.size(); ++at_) {
            char c = text_[at_];
            if (c == '\n')
                newLine();
            else if (state_ == State::Code)
                code(c);
            else if ((state_ == State::Basic || state_ == State::MultiBasic) && c == '\\')
                skipEscaped();
            else if ((state_ == State::Basic || state_ == State::MultiBasic) && c == '"')
                endString(state_ == State::MultiBasic, "\"\"\"");
            else if ((state_ == State::Literal || state_ == State::MultiLiteral) && c == '\'')
                endString(state_ == State::MultiLiteral, "'''");
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw BuildError(source_ + ":" + std::to_string(line_) + ": " + what);
    }

    // An escaped quote or backslash does not end the string; a line end keeps its count.
    void skipEscaped() {
        if (at_ + 1 < text_.size() && text_[at_ + 1] != '\n')
            ++at_;
    }

    bool follows(std::string_view what) const { return text_.substr(at_).starts_with(what); }

    void newLine() {
        ++line_;
        // Single-line strings and comments end here; the parser refuses an unclosed string.
        if (state_ != State::MultiBasic && state_ != State::MultiLiteral)
            state_ = State::Code;
        if (state_ == State::Code && depth_ == 0) {
            lineStart_ = true;
            inHeader_ = false;
        }
    }

    void endString(bool multiLine, std::string_view delimiter) {
        if (!multiLine) {
            state_ = State::Code;
            return;
        }
        if (!follows(delimiter))
            return;
        at_ += delimiter.size() - 1;
        // Up to two more quotes belong to the text in front of the delimiter.
        for (int extra = 0; extra < 2 && at_ + 1 < text_.size() && text_[at_ + 1] == delimiter[0];
             ++extra)
            ++at_;
        state_ = State::Code;
    }

    void openString(char quote) {
        std::string_view triple = quote == '"' ? "\"\"\"" : "'''";
        bool multiLine = follows(triple);
        if (multiLine)
            at_ += 2;
        state_ = quote == '"' ? (multiLine ? State::MultiBasic : State::Basic)
                              : (multiLine ? State::MultiLiteral : State::Literal);
    }

    // In valid text a string starts a line, a key part or a value; anywhere else the parser's idea
    // of where strings are would part from ours, and what we passed as quoted it reads as code.
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
        at_ = name - 1;
    }

    void code(char c) {
        if (static_cast<unsigned char>(c) >= 0x80)
            fail("a non-ASCII character outside a string or comment; quote a name that needs one");
        bool blank = c == ' ' || c == '\t' || c == '\r';
        if (c == '#')
            state_ = State::Comment;
        else if ((c == '"' || c == '\'') && !mayOpenString())
            fail("a quote directly behind a value or name; separate them");
        else if (c == '"' || c == '\'')
            openString(c);
        else if (c == '[' && lineStart_ && depth_ == 0 && !inHeader_)
            header();
        else if ((c == '[' || c == '{') && !inHeader_)
            ++depth_;
        else if ((c == ']' || c == '}') && !inHeader_ && depth_ > 0)
            --depth_;
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
};
} // namespace

void precheckToml(std::string_view text, const std::string& sourceName) {
    Scanner(text, sourceName).run();
}

} // namespace kwn::build
