#pragma once
// The splash screen: the launcher's own window on a thread of its own, or the Java runtime's
// splash library, both started and hidden through the same two calls.
#include "platform/SplashScreen.h"
#include "splash/SplashController.h"

#include <cstdint>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::splash {

inline constexpr int kSplashBitmapId = 10000;
inline constexpr std::uint32_t kSplashTimerId = 9962;
inline constexpr std::uint32_t kSplashTickMilliseconds = 100;
inline constexpr int kShowCommandHide = 0; // SW_HIDE

// Native mode starts the splash thread; runtime mode loads the runtime's library. A show command
// of 0 (a launcher started hidden) hides instead.
void startSplash(launcher::LaunchContext& ctx, int showCommand);

// Callable from any thread, at any moment: a splash not yet on screen never appears.
void hideSplash(launcher::LaunchContext& ctx);

// The splash thread's body: creates, shows and runs the window until it is hidden. Returns the
// thread's exit code.
int splashThread(launcher::LaunchContext& ctx, int showCommand, SplashController& controller);

// The runtime splash library of the chosen JVM home, handed the launcher's splash image.
void startRuntimeSplash(launcher::LaunchContext& ctx);

// The window's top-left corner that centres it on the desktop.
platform::WindowRect centredOn(const platform::WindowRect& desktop, int width, int height);

// Windows' MulDiv: a * b / c rounded half away from zero; -1 when c is 0 or the result does not
// fit.
int mulDiv(int a, int b, int c);

} // namespace kwn::splash
