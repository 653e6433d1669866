#pragma once
// Restarts Windows on behalf of an installer that relaunches us with the reboot marker.
#include "platform/System.h"

namespace kwn::launcher {

void rebootSystem(platform::System& system);

} // namespace kwn::launcher
