#pragma once
// The one tokeniser for the process command line and for configured option and argument
// strings.
//
// Tokens are separated by single blanks (tabs are ordinary characters). A double or a single
// quote groups text up to the next quote of the same kind, or to the end of the text when
// none follows; the quotes are dropped and text before the opening quote belongs to the token.
// Text directly behind a closing quote starts a new token. There is no escape character.
#include <string>
#include <vector>

namespace kwn::launcher {

void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& list);

} // namespace kwn::launcher
