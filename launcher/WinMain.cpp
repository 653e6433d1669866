// The Windows entry point: builds the real platform and hands over to the start-up sequence.
#include "launcher/StartupSequence.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
    // Before anything can load a library: none may come from the working directory, which may
    // be a download folder or a share. The runtime still finds its own through PATH. Any DLL
    // directory takes the working directory's place; the empty name does so on Windows but not
    // under Wine, while the system directory does on both and is searched next anyway.
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    SetDllDirectoryW(length > 0 && length < MAX_PATH ? system : L"");
    // Never destroyed: the notification listener and the splash thread use them until the
    // process ends, which may be after this function has returned.
    auto* platform = new kwn::platform::win32::Win32Platform;
    auto* context = new kwn::launcher::LaunchContext(platform->platform());
    return kwn::launcher::winMain(*context, instance, commandTail ? commandTail : "", showCommand);
}
