#pragma once
// The top-level windows of a process: brought to the front when a second start finds the
// application running, and counted so that the splash knows when the application has shown a
// window of its own.
#include <cstdint>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::instance {

// Every visible top-level window of the process, in z-order, brought to the foreground
// together with its last active pop-up (an open dialog); minimised ones restored first when
// restore is set.
void activateProcessWindows(launcher::LaunchContext& ctx, std::uint32_t processId, bool restore);

// The visible top-level windows of the process, leaving out the launcher's own console window.
int countProcessWindows(launcher::LaunchContext& ctx, std::uint32_t processId);

} // namespace kwn::instance
