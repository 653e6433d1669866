#include "launcher/StartupSequence.h"

#include "config/ConfigReader.h"
#include "files/IncludedFiles.h"
#include "instance/SingleInstance.h"
#include "jvm/VmLibrary.h"
#include "launcher/CommandLine.h"
#include "launcher/ConsoleSetup.h"
#include "launcher/NativeLibraryPath.h"
#include "launcher/SystemReboot.h"
#include "splash/Splash.h"
#include "windows/JavaVMLauncher.h"
#include "windows/VariableExpansion.h"

#include <array>

namespace kwn::launcher {

namespace {
using namespace config::key;

constexpr std::string_view kRebootMarker = "__kwn_reboot";
constexpr std::string_view kLanguageRestartMarker = "__kwn_lang_restart";
constexpr std::string_view kQuietMarker = "-q_kwn_internal";
constexpr std::array<std::u16string_view, 4> kLogSwitches = {
    u"-create-kwn-log", u"-create-qvo-log", u"/create-kwn-log", u"/create-qvo-log"};
constexpr int kExitNoJvm = 83;

// Only element 1 can be the log switch, and it must go before the first log line is written.
void takeLogSwitch(LaunchContext& ctx) {
    if (ctx.arguments.size() < 2)
        return;
    for (std::u16string_view logSwitch : kLogSwitches) {
        if (ctx.arguments[1] == logSwitch) {
            ctx.arguments.erase(ctx.arguments.begin() + 1);
            ctx.log.setForced(true);
            return;
        }
    }
}

void readConfiguration(LaunchContext& ctx) {
    std::optional<std::string> failure = config::readConfigBlock(
        ctx.os.files, ctx.paths.getModulePathW(), ctx.log, ctx.config, [&ctx] {
            ctx.locale = config::detectLocale(&ctx.arguments, ctx.os.system, ctx.log);
            return ctx.locale.localeName();
        });
    if (failure)
        ctx.errors.fatalText(*failure);
    // Only the windowed types keep message boxes; every other launcher reports on the console.
    std::int32_t type = ctx.config.getInt(kLauncherType);
    if (type != 1 && type != 5)
        ctx.messageBoxMode = false;
}

void chooseFlavour(LaunchContext& ctx) {
    const size_t flavourCapacity = 2;
    std::string flavour = ctx.config.getString(kFlavour, flavourCapacity);
    ctx.flavour = flavour.empty() ? '\0' : flavour[0];
    bool qelvo = ctx.flavour == 'e';
    ctx.productName = qelvo ? "qelvo" : "kestrowan";
    ctx.productNameW = qelvo ? u"qelvo" : u"kestrowan";
}

// Skipped on a language restart: the first start has already moved there.
void changeWorkingDirectory(LaunchContext& ctx) {
    std::u16string directory = ctx.config.getWString(kWorkingDirectory);
    if (directory.empty()) {
        ctx.log.logMessage("working directory unchanged");
        return;
    }
    windows::expandVariables(ctx, directory, true);
    directory = ctx.paths.getFullPathW(directory, true, true);
    ctx.os.files.setCurrentDirectoryW(directory); // a directory that is not there changes nothing
    ctx.log.logMessage("change working directory to %S", directory);
}

void offerLogFile(LaunchContext& ctx) {
    std::u16string logPath = ctx.log.logFilePath().value_or(u"");
    std::u16string question = u"The following log file will be created:\n\n" + logPath +
                              u"\n\nDo you want to open an Explorer window?";
    if (ctx.os.ui.messageBoxW(nullptr, question, ctx.productNameW,
                              platform::MessageBoxStyle::QuestionYesNo) !=
        platform::MessageBoxAnswer::Yes)
        return;
    std::u16string shortPath = ctx.os.files.shortPathName(logPath).value_or(logPath);
    std::u16string command =
        ctx.os.system.windowsDirectory() + u"\\explorer.exe /select," + shortPath;
    ctx.log.logMessage("calling %S", command);
    if (std::uint32_t error = ctx.os.process.startProcess(command))
        ctx.log.logMessage("could not open explorer window %d", error);
}

} // namespace

void initLauncher(LaunchContext& ctx, void* instance) {
    ctx.tempDirectory.clear();
    takeLogSwitch(ctx);
    readConfiguration(ctx);
    ctx.instance = instance;
    chooseFlavour(ctx);
    if (!ctx.languageRestart)
        changeWorkingDirectory(ctx);
    if (ctx.log.isForced())
        offerLogFile(ctx);
}

void applyConsoleSwitches(LaunchContext& ctx) {
    bool quietAndConsole = ctx.config.getInt(kQuietAndConsoleSwitches) != 0;
    if (!quietAndConsole && ctx.config.getInt(kConsoleSwitch) == 0)
        return;
    for (const std::u16string& argument : ctx.arguments) {
        if (quietAndConsole && argument == u"-q") {
            ctx.messageBoxMode = false;
        } else if (argument == u"-console") {
            obtainConsole(ctx.os.console);
        } else if (quietAndConsole && argument == u"-c") {
            ctx.messageBoxMode = false;
            if (obtainConsole(ctx.os.console))
                return;
            // Said in a box whatever the message mode: there is no console to say it on.
            ctx.os.ui.messageBox(nullptr, "Error: Could not allocate console.", "kestrowan",
                                 platform::MessageBoxStyle::Ok);
            ctx.errors.exitLauncher(1);
        }
    }
}

int winMain(LaunchContext& ctx, void* instance, std::string_view commandTail, int showCommand) {
    ctx.os.ui.initCommonControls();
    if (commandTail == kRebootMarker) {
        rebootSystem(ctx.os.system);
        return 0;
    }
    if (commandTail.starts_with(kLanguageRestartMarker))
        ctx.languageRestart = true;
    if (commandTail.starts_with(kQuietMarker))
        ctx.messageBoxMode = false;
    splitCommandLine(ctx.os.process.commandLine(), ctx.arguments);
    initLauncher(ctx, instance);
    applyConsoleSwitches(ctx);
    // A language restart is the same start moving on, not a second one.
    if (!ctx.languageRestart)
        instance::checkInstance(ctx, true, true);
    bool splashOn = ctx.config.getInt(kSplashScreen) != 0;
    bool runtimeSplash = ctx.config.getInt(kRuntimeSplash) != 0;
    if (splashOn && !runtimeSplash)
        splash::startSplash(ctx, showCommand);
    if (files::extractIncludedFiles(ctx, true) != files::kExtracted)
        ctx.errors.fatalMessage(kMessageInternalError, std::string("16"));
    setNativeLibraryPath(ctx);
    if (!jvm::LoadDLL(ctx))
        ctx.errors.exitLauncher(kExitNoJvm); // LoadDLL has said why
    // The runtime's own splash library can only be loaded once a runtime has been chosen.
    if (splashOn && runtimeSplash)
        splash::startSplash(ctx, showCommand);
    if (!windows::launchJavaProgram(ctx, true))
        ctx.errors.fatalMessageW(kMessageVmStartFailed, std::nullopt);
    return 0;
}

} // namespace kwn::launcher
