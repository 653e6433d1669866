#pragma once
// The launcher's entry point logic: everything the main thread does, in its fixed order,
// before the Java application takes over.
#include "launcher/LaunchContext.h"

#include <string_view>

namespace kwn::launcher {

// commandTail is the narrow command line without the program name, as Windows passes it.
int winMain(LaunchContext& ctx, void* instance, std::string_view commandTail, int showCommand);

// Log switch, configuration block, flavour and the log-file question.
void initLauncher(LaunchContext& ctx, void* instance);

// "-q", "-c" and "-console", as far as keys 154 and 156 allow them.
void applyConsoleSwitches(LaunchContext& ctx);

} // namespace kwn::launcher
