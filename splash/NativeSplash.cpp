#include "config/ConfigKeys.h"
#include "instance/WindowActivation.h"
#include "launcher/LaunchContext.h"
#include "splash/Splash.h"

#include <array>
#include <cstdint>
#include <limits>

namespace kwn::splash {

namespace {
using namespace config::key;
using platform::WindowHandle;

constexpr std::size_t kFaceNameCapacity = 32; // LOGFONT's 31 characters and the terminator
constexpr int kPointsPerInch = 72;
constexpr int kActionHide = 1;
constexpr int kActionFetchText = 2;

struct LineKeys {
    config::Key x, y, text, face, size, colour, weight;
};
constexpr std::array<LineKeys, 2> kLineKeys = {{
    {kSplashLine1X, kSplashLine1Y, kSplashLine1Text, kSplashLine1Font, kSplashLine1Size,
     kSplashLine1Color, kSplashLine1Weight},
    {kSplashLine2X, kSplashLine2Y, kSplashLine2Text, kSplashLine2Font, kSplashLine2Size,
     kSplashLine2Color, kSplashLine2Weight},
}};

struct TextLine {
    std::string text; // narrow, at most kTextCapacity - 1 bytes
    int x = 0;
    int y = 0;
    std::uint32_t colour = 0;
    int size = 0;
    int weight = 0;
    std::string face;
    platform::FontHandle font = nullptr;
};

// One splash window on its own thread: what it shows, and the timer that decides when it goes.
class NativeSplash {
public:
    NativeSplash(launcher::LaunchContext& ctx, SplashController& controller)
        : ctx_(ctx), controller_(controller) {}
    NativeSplash(const NativeSplash&) = delete;
    NativeSplash& operator=(const NativeSplash&) = delete;

    int run(int showCommand);

private:
    void readSettings();
    bool createAndShow(int showCommand);
    void paint(platform::SplashCanvas& canvas);
    void tick();
    bool pollController();
    void replaceFirstLine(const std::u16string& text);
    void end();

    launcher::LaunchContext& ctx_;
    SplashController& controller_;
    std::array<TextLine, 2> lines_;
    std::string title_;
    int width_ = 0;
    int height_ = 0;
    WindowHandle window_ = nullptr;
    bool fontsCreated_ = false;
    bool autoOff_ = false;
    bool attached_ = false;
    bool controllerFound_ = false;
    bool ended_ = false;
};

void NativeSplash::readSettings() {
    const config::ConfigBlock& config = ctx_.config;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineKeys& keys = kLineKeys[i];
        TextLine& line = lines_[i];
        line.text = config.getString(keys.text);
        line.x = config.getInt(keys.x);
        line.y = config.getInt(keys.y);
        line.colour = config.getColor(keys.colour);
        line.size = config.getInt(keys.size);
        line.weight = config.getInt(keys.weight);
        line.face = config.getString(keys.face, kFaceNameCapacity);
    }
    title_ = config.getString(kApplicationName);
    width_ = config.getInt(kSplashWidth);
    height_ = config.getInt(kSplashHeight);
}

// The window is shown before the stage says so: a hide that slipped in while it was being made
// is then found here, and the window goes again before anyone relies on it.
bool NativeSplash::createAndShow(int showCommand) {
    platform::SplashScreen& splash = *ctx_.os.splash;
    readSettings();
    splash.registerWindowClass(ctx_.instance);
    platform::WindowRect at = centredOn(splash.desktopRect(), width_, height_);
    window_ = splash.createWindow(ctx_.instance, title_, at.left, at.top, width_, height_,
                                  [this](platform::SplashCanvas& canvas) { paint(canvas); });
    SplashStage stage = SplashStage::Creating;
    if (!window_) {
        ctx_.splash.stage.compare_exchange_strong(stage, SplashStage::Cancelled);
        return false;
    }
    ctx_.splash.window.store(window_);
    if (ctx_.splash.stage.load() == SplashStage::Cancelled)
        return false;
    splash.showWindow(window_, showCommand);
    if (ctx_.config.getInt(kSplashOnTop) != 0)
        splash.makeTopmost(window_);
    if (!ctx_.splash.stage.compare_exchange_strong(stage, SplashStage::Shown)) {
        splash.showWindow(window_, kShowCommandHide);
        return false;
    }
    ctx_.errors.setErrorOwnerWindow(window_);
    return true;
}

int NativeSplash::run(int showCommand) {
    ctx_.log.logMessage("Initializing splash screen");
    if (!createAndShow(showCommand))
        return 0; // the window, if any, goes with the thread
    autoOff_ = ctx_.config.getInt(kSplashAutoOff) != 0;
    ctx_.os.splash->startTimer(kSplashTimerId, kSplashTickMilliseconds, [this] { tick(); });
    return ctx_.os.splash->runMessageLoop();
}

void NativeSplash::paint(platform::SplashCanvas& canvas) {
    if (!fontsCreated_) {
        int dpi = canvas.logPixelsY();
        for (TextLine& line : lines_)
            line.font = canvas.createFont(
                {-mulDiv(line.size, dpi, kPointsPerInch), line.weight, line.face});
        fontsCreated_ = true;
    }
    canvas.drawBitmap(kSplashBitmapId, width_, height_); // missing: the grey stays
    for (const TextLine& line : lines_)
        canvas.drawText(line.font, line.colour, line.x, line.y, line.text);
}

void NativeSplash::end() {
    if (attached_)
        controller_.detach();
    ended_ = true;
    ctx_.os.splash->quitMessageLoop();
}

void NativeSplash::tick() {
    if (ended_)
        return; // a tick already queued behind the quit
    if (!ctx_.os.ui.isWindowVisible(window_)) {
        end();
        return;
    }
    // The splash is one of the process's windows: more than one means the application's own.
    if (autoOff_ && instance::countProcessWindows(ctx_, ctx_.os.ipc.currentProcessId()) > 1) {
        ctx_.log.logMessage("Splash screen auto off");
        hideSplash(ctx_);
        end();
        return;
    }
    if (!pollController())
        return;
    int action = controller_.getAction();
    if (action == kActionHide) {
        hideSplash(ctx_);
        end();
    } else if (action == kActionFetchText) {
        if (std::optional<std::u16string> text = controller_.getText())
            replaceFirstLine(*text);
    }
}

// Attaching is tried on every tick until the VM exists; the controller is looked up only once.
bool NativeSplash::pollController() {
    if (!attached_) {
        if (!controller_.attach())
            return false;
        attached_ = true;
        controllerFound_ = controller_.findController();
    }
    return controllerFound_;
}

void NativeSplash::replaceFirstLine(const std::u16string& text) {
    if (ctx_.splash.stage.load() != SplashStage::Shown)
        return;
    std::string narrow = ctx_.os.codePage.toNarrow(text).text;
    if (narrow.size() > config::kTextCapacity - 1)
        narrow.resize(config::kTextCapacity - 1);
    lines_[0].text = std::move(narrow);
    ctx_.os.splash->repaint(window_);
}

} // namespace

platform::WindowRect centredOn(const platform::WindowRect& desktop, int width, int height) {
    int x = (desktop.right - width - desktop.left) / 2;
    int y = (desktop.bottom - height - desktop.top) / 2;
    return {x, y, x + width, y + height};
}

int mulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t divisor = c;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    std::int64_t half = divisor / 2;
    std::int64_t result =
        product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

int splashThread(launcher::LaunchContext& ctx, int showCommand, SplashController& controller) {
    ctx.log.logMessage("Showing splash screen");
    SplashStage stage = SplashStage::NotShown;
    if (!ctx.splash.stage.compare_exchange_strong(stage, SplashStage::Creating))
        return 0; // hidden before it began, or a second start
    NativeSplash splash(ctx, controller);
    return splash.run(showCommand);
}

} // namespace kwn::splash
