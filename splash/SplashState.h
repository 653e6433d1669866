#pragma once
// What the main thread and the splash thread share about the splash screen. The native window's
// stage is one atomic so that a hide arriving at any moment of the window's creation is either
// seen by the splash thread before it finishes, or finds the window shown and hides it.
#include "platform/Programs.h"
#include "platform/UserInterface.h"

#include <atomic>
#include <memory>

namespace kwn::splash {

enum class SplashStage {
    NotShown,  // no window yet; a hide now cancels the splash
    Creating,  // the splash thread is making the window; a hide now cancels it too
    Shown,     // the window exists and is on screen until hidden
    Cancelled, // hidden before it was shown: no window will ever appear
};

using SplashClose = void (*)();

struct SplashState {
    std::atomic<SplashStage> stage = SplashStage::NotShown;
    std::atomic<platform::WindowHandle> window = nullptr;
    // The runtime's splash library, kept loaded once its image was handed over; SplashClose is
    // set only then, and stands for "the runtime splash is ready".
    std::unique_ptr<platform::Library> runtimeLibrary;
    SplashClose runtimeClose = nullptr;
};

} // namespace kwn::splash
