#include "launcher/LaunchContext.h"
#include "splash/Splash.h"

namespace kwn::splash {

namespace {
using SplashInit = void (*)();
using SplashLoadMemory = int (*)(const void* data, int size);

template <class Function> Function entry(platform::Library& library, const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
}
} // namespace

// Nothing here may stop the launch: without the runtime's splash the application starts plain.
void startRuntimeSplash(launcher::LaunchContext& ctx) {
    if (ctx.splash.runtimeClose)
        return;
    std::string path = ctx.jvmHome + "\\bin\\splashscreen.dll";
    ctx.log.logMessage("loading splashscreen dll from %s", path);
    platform::LoadResult loaded = ctx.os.programs.loadLibrary(path);
    if (!loaded.library) {
        ctx.log.logError("Could not load splashscreen.dll");
        return;
    }
    auto close = entry<SplashClose>(*loaded.library, "SplashClose");
    auto init = entry<SplashInit>(*loaded.library, "SplashInit");
    auto loadMemory = entry<SplashLoadMemory>(*loaded.library, "SplashLoadMemory");
    if (!close || !init || !loadMemory) {
        ctx.log.logError("Could not find functions in splashscreen.dll");
        return;
    }
    init();
    platform::ResourceData image = ctx.os.splash->findResourceData(ctx.instance, kSplashBitmapId)
                                       .value_or(platform::ResourceData{});
    int result = loadMemory(image.data, static_cast<int>(image.size));
    ctx.log.logMessage("splash load memory returned %d (%p, %p, %d)", result, image.handle,
                       image.data, image.size);
    ctx.splash.runtimeLibrary = std::move(loaded.library);
    ctx.splash.runtimeClose = close;
}

} // namespace kwn::splash
