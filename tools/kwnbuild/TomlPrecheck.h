#pragma once
// Configuration text made safe for the packaged TOML parser. That parser reaches undefined
// behaviour whenever it asks whether a non-ASCII character is whitespace (between tokens, behind
// a backslash, in its error messages: too many paths to close one by one), and on a table header
// whose name starts with a character no name can start with (`[+settings]`, `[[[1]]]`). So the
// parser is given ASCII only: non-ASCII text inside strings is written as \u escapes (a literal
// string that holds some becomes the basic string of the same value), inside comments as blanks;
// anywhere else it is refused, as are such headers, with the line.
#include <string>
#include <string_view>

namespace kwn::build {

// The text to parse, line for line the same as `text`, holding the same values. BuildError
// "SOURCE:LINE: ..." for what is refused; other faults are left to the parser.
std::string asciiToml(std::string_view text, const std::string& sourceName);

} // namespace kwn::build
