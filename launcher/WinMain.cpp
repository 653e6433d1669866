// The Windows entry point: builds the real platform and hands over to the start-up sequence.
#include "launcher/LibraryFailure.h"
#include "launcher/StartupSequence.h"
#include "platform/win32/Win32Platform.h"

#include <cstdlib>
#include <windows.h>

// The C++ library's default answer to an uncaught exception prints its demangled type, and the
// demangler alone is a sixth of the stub that every application's launcher carries. A GUI
// program has nowhere to print it: end as that handler does after printing.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
    // Before anything can load a library: none may come from the working directory, which may
    // be a download folder or a share. The runtime still finds its own through PATH. Any DLL
    // directory takes the working directory's place; the empty name does so on Windows but not
    // under Wine, while the launcher's own directory does on both and is searched first anyway.
    wchar_t directory[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, directory, MAX_PATH);
    if (length >= MAX_PATH)
        length = 0; // a cut path names no directory: the empty name is all that is left
    while (length > 0 && directory[length - 1] != L'\\')
        --length;
    directory[length] = L'\0'; // behind the last backslash: "C:\apps\", or nothing
    SetDllDirectoryW(directory);
    // Never destroyed: the notification listener and the splash thread use them until the
    // process ends, which may be after this function has returned.
    auto* platform = new kwn::platform::win32::Win32Platform;
    auto* context = new kwn::launcher::LaunchContext(platform->platform());
    kwn::launcher::reportLibraryFailuresTo(*context);
    return kwn::launcher::winMain(*context, instance, commandTail ? commandTail : "", showCommand);
}
