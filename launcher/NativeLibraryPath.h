#pragma once
// Puts the application's native library directories in front of PATH, so that the VM and
// System.loadLibrary find them.
namespace kwn::launcher {

struct LaunchContext;

void setNativeLibraryPath(LaunchContext& ctx);

} // namespace kwn::launcher
