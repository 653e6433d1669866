#include "instance/SingleInstance.h"

#include "instance/Notification.h"
#include "instance/WindowActivation.h"
#include "launcher/LaunchContext.h"

#include <algorithm>

namespace kwn::instance {

namespace {
using namespace config::key;

constexpr std::uint32_t kErrorAlreadyExists = 183;
constexpr int kHighestInstanceNumber = 100000;
// A first instance records its id only after it holds the name; a second start gives it
// about five seconds to do so.
constexpr int kPidPolls = 50;
constexpr std::uint32_t kPidPollMilliseconds = 100;

std::string launcherPath(launcher::LaunchContext& ctx) {
    return ctx.paths.getFullPath(ctx.paths.getModulePath(), false);
}

void logSemaphore(launcher::LaunchContext& ctx, std::uint32_t error,
                  platform::KernelHandle handle) {
    ctx.log.logMessage("semaphore name %s, code %d, value %p", *ctx.semaphoreName, error,
                       static_cast<const void*>(handle));
}

void claimNumberedName(launcher::LaunchContext& ctx, const std::string& base) {
    std::uint32_t error = 0;
    platform::KernelHandle handle = nullptr;
    for (int number = 0;; ++number) {
        ctx.semaphoreName = base + std::to_string(number);
        handle = ctx.os.ipc.createSemaphore(*ctx.semaphoreName, error);
        // The last number is kept even when taken: the application still gets a name.
        if (error != kErrorAlreadyExists || number >= kHighestInstanceNumber)
            break;
        ctx.os.ipc.closeHandle(handle);
    }
    logSemaphore(ctx, error, handle);
}

std::uint32_t waitForFirstInstancePid(launcher::LaunchContext& ctx, const std::string& path) {
    std::uint32_t pid = readInstancePid(ctx, path);
    for (int poll = 0; pid == 0 && poll < kPidPolls; ++poll) {
        ctx.os.system.sleep(kPidPollMilliseconds);
        pid = readInstancePid(ctx, path);
    }
    return pid;
}
} // namespace

std::string semaphoreBaseName(launcher::LaunchContext& ctx) {
    std::string name = launcherPath(ctx);
    std::replace(name.begin(), name.end(), '\\', '_');
    std::replace(name.begin(), name.end(), ' ', '_');
    return (ctx.config.getInt(kGlobalSemaphore) != 0 ? "Global\\" : "Local\\") + name;
}

std::u16string commandLineTail(std::u16string_view commandLine) {
    size_t position = 0;
    if (commandLine.starts_with(u'"')) {
        position = commandLine.find(u'"', 1);
        if (position == std::u16string_view::npos)
            return {};
    }
    position = commandLine.find(u' ', position);
    if (position == std::u16string_view::npos)
        return {};
    position = commandLine.find_first_not_of(u' ', position);
    return position == std::u16string_view::npos ? std::u16string()
                                                 : std::u16string(commandLine.substr(position));
}

std::uint32_t readInstancePid(launcher::LaunchContext& ctx, const std::string& launcherPath) {
    std::uint32_t error = 0;
    auto key = ctx.os.registry.open(platform::RegistryRoot::CurrentUser, std::string(kPidKey),
                                    platform::RegistryView::Default, error);
    if (!key)
        return 0;
    // Longer data does not fit the four bytes asked for and reads as missing.
    auto data = key->queryValue(launcherPath, 4);
    if (!data || data->size() != 4)
        return 0;
    return std::uint32_t((*data)[0]) | std::uint32_t((*data)[1]) << 8 |
           std::uint32_t((*data)[2]) << 16 | std::uint32_t((*data)[3]) << 24;
}

void writeInstancePid(launcher::LaunchContext& ctx, const std::string& launcherPath,
                      std::uint32_t processId) {
    // Without the value a second start waits five seconds and gives up: nothing to report.
    if (auto key =
            ctx.os.registry.create(platform::RegistryRoot::CurrentUser, std::string(kPidKey)))
        key->setDword(launcherPath, processId);
}

void checkInstance(launcher::LaunchContext& ctx, bool numberInstances, bool notify) {
    std::string base = semaphoreBaseName(ctx);
    if (numberInstances && ctx.config.getInt(kSingleInstance) == 0) {
        claimNumberedName(ctx, base);
        return;
    }
    ctx.log.logMessage("single instance mode");
    ctx.semaphoreName = base;
    std::uint32_t error = 0;
    platform::KernelHandle handle = ctx.os.ipc.createSemaphore(base, error);
    logSemaphore(ctx, error, handle);
    std::string path = launcherPath(ctx);
    // A semaphore that cannot be made at all still counts as the first instance.
    if (error != kErrorAlreadyExists) {
        writeInstancePid(ctx, path, ctx.os.ipc.currentProcessId());
        if (notify)
            startNotificationListener(ctx);
        return;
    }
    ctx.os.ipc.closeHandle(handle);
    std::uint32_t pid = waitForFirstInstancePid(ctx, path);
    ctx.log.logMessage("other pid %d", pid);
    if (pid != 0) {
        if (ctx.config.getInt(kActivateRunningInstance) != 0)
            activateProcessWindows(ctx, pid, true);
        if (notify)
            sendCommandLine(ctx, pid, commandLineTail(ctx.os.process.commandLine()));
    }
    ctx.log.logMessage("exiting");
    ctx.errors.exitLauncher(0);
}

} // namespace kwn::instance
