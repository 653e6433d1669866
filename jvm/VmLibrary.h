#pragma once
// Turns the chosen runtime into a loaded "jvm.dll" with its entry point, extending PATH by the
// runtime's bin directory, and says which runtime failed when none loads.
#include "platform/Programs.h"

#include <memory>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::jvm {

// Search, load, find JNI_CreateJavaVM. Shows its own message and returns false on failure.
bool LoadDLL(launcher::LaunchContext& ctx);

// Tries the executable's bin directory, then "..\jre\bin" beside it; PATH is restored exactly
// when nothing loads.
std::unique_ptr<platform::Library> loadJvmDll(launcher::LaunchContext& ctx,
                                              const std::string& executable);

} // namespace kwn::jvm
