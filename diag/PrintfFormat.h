#pragma once
// printf-style formatting with the Windows C runtime's conventions, which the launcher's log
// lines and messages are written in: in a narrow format "%s" is narrow text, "%S" UTF-16 text,
// "%I64d" a 64-bit integer. Arguments are type-checked at run time instead of trusted.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kwn::diag {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Narrow, Wide, Pointer };

    FormatArg(int v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(const char* v) : kind_(Kind::Narrow), narrow_(v ? v : "(null)") {}
    FormatArg(const std::string& v) : kind_(Kind::Narrow), narrow_(v) {}
    FormatArg(std::string_view v) : kind_(Kind::Narrow), narrow_(v) {}
    FormatArg(const char16_t* v) : kind_(Kind::Wide), wide_(v ? v : u"(null)") {}
    FormatArg(const std::u16string& v) : kind_(Kind::Wide), wide_(v) {}
    FormatArg(std::u16string_view v) : kind_(Kind::Wide), wide_(v) {}
    FormatArg(const void* v)
        : kind_(Kind::Pointer), unsigned_(reinterpret_cast<std::uintptr_t>(v)) {}

    Kind kind() const { return kind_; }
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    std::string asNarrow() const;

private:
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    std::string_view narrow_;
    std::u16string_view wide_;
};

// Formats a narrow printf-style text. Supports flags, width, precision, the length prefixes
// h, l, ll, I64 and the conversions d i u x X o c s S p %. A conversion without an argument,
// or one it does not know, is copied as it stands.
std::string formatPrintf(std::string_view format, std::initializer_list<FormatArg> args);

// UTF-16 to narrow text as the C runtime does in its default locale: code units up to 0xFF
// keep their value, every other one becomes "?".
std::string narrowLatin1(std::u16string_view text);

} // namespace kwn::diag
