#include "launcher/SystemReboot.h"

namespace kwn::launcher {

void rebootSystem(platform::System& system) {
    // Gives the process that asked for the reboot time to finish before Windows goes down.
    system.sleep(5000);
    std::optional<std::uint32_t> error = system.enablePrivilege("SeShutdownPrivilege");
    // Only a privilege that was really granted is worth a reboot attempt.
    if (error && *error == 0)
        system.rebootWindows();
}

} // namespace kwn::launcher
