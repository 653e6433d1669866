#include "splash/Splash.h"

#include "config/ConfigKeys.h"
#include "instance/WindowActivation.h"
#include "launcher/LaunchContext.h"
#include "windows/SplashJavaControl.h"

namespace kwn::splash {

namespace {
using platform::WindowHandle;

bool runtimeMode(launcher::LaunchContext& ctx) {
    return ctx.config.getInt(config::key::kRuntimeSplash) != 0;
}

// Every call closes again: the runtime may have closed the splash itself in the meantime.
void hideRuntimeSplash(launcher::LaunchContext& ctx) {
    if (ctx.splash.runtimeClose)
        ctx.splash.runtimeClose();
}

void hideNativeSplash(launcher::LaunchContext& ctx) {
    ctx.log.logMessage("Hiding splash screen");
    SplashStage stage = ctx.splash.stage.load();
    while (stage == SplashStage::NotShown || stage == SplashStage::Creating) {
        if (ctx.splash.stage.compare_exchange_weak(stage, SplashStage::Cancelled))
            return; // the splash thread sees it before the window is counted as shown
    }
    if (stage != SplashStage::Shown)
        return; // cancelled: there is no window to hide or to give the focus back from
    ctx.os.splash->showWindow(ctx.splash.window.load(), kShowCommandHide);
    // The splash may have held the focus; give it to the application, not to whatever was
    // behind it.
    std::uint32_t self = ctx.os.ipc.currentProcessId();
    WindowHandle foreground = ctx.os.splash->foregroundWindow();
    if (!foreground || ctx.os.ui.windowProcessId(foreground) != self)
        instance::activateProcessWindows(ctx, self, false);
}
} // namespace

void startSplash(launcher::LaunchContext& ctx, int showCommand) {
    if (showCommand == kShowCommandHide) {
        hideSplash(ctx);
        return;
    }
    if (runtimeMode(ctx)) {
        startRuntimeSplash(ctx);
        return;
    }
    ctx.log.logMessage("Starting splash screen thread");
    ctx.os.threads.startThread([&ctx, showCommand] {
        windows::SplashJavaControl controller(ctx);
        splashThread(ctx, showCommand, controller);
    });
}

void hideSplash(launcher::LaunchContext& ctx) {
    if (runtimeMode(ctx))
        hideRuntimeSplash(ctx);
    else
        hideNativeSplash(ctx);
}

} // namespace kwn::splash
