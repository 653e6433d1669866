// The Windows entry point: builds the real platform and hands over to the start-up sequence.
#include "launcher/StartupSequence.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
    // Never destroyed: the notification listener and the splash thread use them until the
    // process ends, which may be after this function has returned.
    auto* platform = new kwn::platform::win32::Win32Platform;
    auto* context = new kwn::launcher::LaunchContext(platform->platform());
    return kwn::launcher::winMain(*context, instance, commandTail ? commandTail : "", showCommand);
}
