#pragma once
// Gives a GUI-subsystem launcher a console when the user asks for one.
#include "platform/Console.h"

namespace kwn::launcher {

// Attaches to the parent's console, else allocates one; true when the process has a console.
bool obtainConsole(platform::Console& console);

} // namespace kwn::launcher
