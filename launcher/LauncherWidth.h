#pragma once
// The only difference between the 32-bit and the 64-bit launcher that a user can see: the
// width named in "no runtime found" and which message describes a broken runtime.
#include "config/ConfigKeys.h"

namespace kwn::launcher {

struct LauncherWidth {
    const char* bits;
    config::Key brokenEnvironmentRuntime; // the runtime named by a variable does not work
    config::Key brokenDirectoryRuntime;   // the runtime found in a directory does not work
};

constexpr LauncherWidth kWidth32{"32", config::key::kMessageEnvJvmBroken32,
                                 config::key::kMessageDirJvmBroken32};
constexpr LauncherWidth kWidth64{"64", config::key::kMessageEnvJvmBroken64,
                                 config::key::kMessageDirJvmBroken64};

constexpr LauncherWidth launcherWidth() {
    return sizeof(void*) == 8 ? kWidth64 : kWidth32;
}

} // namespace kwn::launcher
