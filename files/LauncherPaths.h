#pragma once
// Where the launcher is: its module path, and the path normalisation every Part relies on.
#include "platform/Platform.h"

#include <string>

namespace kwn::files {

// The long Unicode path of the launcher executable, doubled backslashes collapsed.
std::u16string getModulePathW(platform::Platform& os);

// Removes doubled backslashes; a leading pair (a UNC path) survives.
std::string collapseBackslashes(const std::string& path);
std::u16string collapseBackslashes(const std::u16string& path);

} // namespace kwn::files
