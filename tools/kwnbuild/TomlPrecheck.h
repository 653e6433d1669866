#pragma once
// A strict look at configuration text before the TOML parser sees it. The packaged parser
// reaches undefined behaviour on two kinds of ordinary typos: a non-ASCII character outside a
// string or comment (`10é = 0`, `[aé]`) and a table header whose name starts with a character
// no name can start with (`[+settings]`, `[[[1]]]`). Both are refused here with the line.
#include <string>
#include <string_view>

namespace kwn::build {

// BuildError "SOURCE:LINE: ..." for the first such fault; other faults are left to the parser.
void precheckToml(std::string_view text, const std::string& sourceName);

} // namespace kwn::build
