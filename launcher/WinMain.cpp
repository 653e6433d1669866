// The Windows entry point: builds the real platform and hands over to the start-up sequence.
#include "launcher/StartupSequence.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
    kwn::platform::win32::Win32Platform platform;
    kwn::launcher::LaunchContext context(platform.platform());
    return kwn::launcher::winMain(context, instance, commandTail ? commandTail : "", showCommand);
}
