#include "launcher/ConsoleSetup.h"

namespace kwn::launcher {

namespace {
// AttachConsole fails so when the process already has a console, which is what we want.
constexpr std::uint32_t kErrorAccessDenied = 5;
} // namespace

bool obtainConsole(platform::Console& console) {
    platform::Console::AttachResult attached = console.attachParentConsole();
    if (attached.available && (attached.ok || attached.error == kErrorAccessDenied))
        return true;
    return console.allocConsole();
}

} // namespace kwn::launcher
