#include "instance/WindowActivation.h"

#include "launcher/LaunchContext.h"

#include <string>

namespace kwn::instance {

namespace {
using platform::WindowHandle;

constexpr std::uint32_t kTitleSettleMilliseconds = 40;

bool belongsTo(platform::UserInterface& ui, WindowHandle window, std::uint32_t processId) {
    return ui.isWindowVisible(window) && ui.windowProcessId(window) == processId;
}

// A console window has no owner to ask for; the one way to tell it from the application's
// windows is to give it a title nobody else has and look that title up.
WindowHandle findConsoleWindow(launcher::LaunchContext& ctx) {
    if (ctx.config.getInt(config::key::kLauncherType) == 1)
        return nullptr; // a windowed launcher has no console
    std::optional<std::string> title = ctx.os.console.title();
    if (!title)
        return nullptr;
    std::string unique = std::to_string(static_cast<std::int32_t>(ctx.os.system.tickCount())) +
                         "/" + std::to_string(ctx.os.ipc.currentProcessId());
    if (!ctx.os.console.setTitle(unique))
        return nullptr;
    ctx.os.system.sleep(kTitleSettleMilliseconds);
    WindowHandle window = ctx.os.ui.findWindowByTitle(unique);
    ctx.os.console.setTitle(*title);
    return window;
}
} // namespace

void activateProcessWindows(launcher::LaunchContext& ctx, std::uint32_t processId, bool restore) {
    platform::UserInterface& ui = ctx.os.ui;
    for (WindowHandle window : ui.topLevelWindows()) {
        if (!belongsTo(ui, window, processId))
            continue;
        ctx.log.logMessage("found window %p", static_cast<const void*>(window));
        if (restore && ui.isMinimized(window)) {
            ctx.log.logMessage("restore");
            ui.restoreWindow(window);
        }
        ctx.log.logMessage("foreground");
        ui.setForegroundWindow(window);
        ctx.log.logMessage("popup");
        ui.setForegroundWindow(ui.lastActivePopup(window));
        ctx.log.logMessage("done");
    }
}

int countProcessWindows(launcher::LaunchContext& ctx, std::uint32_t processId) {
    if (!ctx.consoleWindow)
        ctx.consoleWindow = findConsoleWindow(ctx);
    int count = 0;
    for (WindowHandle window : ctx.os.ui.topLevelWindows()) {
        if (belongsTo(ctx.os.ui, window, processId) && window != *ctx.consoleWindow)
            ++count;
    }
    return count;
}

} // namespace kwn::instance
