#include "windows/MainArguments.h"

#include "launcher/CommandLine.h"
#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

#include <string_view>

namespace kwn::windows {

namespace {
using namespace config::key;

constexpr std::size_t kFixedArgumentsCapacity = 2000;
constexpr std::u16string_view kVmOptionPrefix = u"-J";
// Handed to the VM as a locale option instead; the application must not see it twice.
constexpr std::u16string_view kLocaleOption = u"-Dsun.locale.formatasdefault=";

std::u16string flagText(bool value) {
    return value ? u"true" : u"false";
}

std::u16string logPathArgument(launcher::LaunchContext& ctx, config::Key passKey,
                               config::Key pathKey) {
    if (ctx.config.getInt(passKey) == 0)
        return u"";
    return resolveLogPath(ctx, ctx.config.getWString(pathKey));
}

bool isForTheVm(std::u16string_view argument, bool vmOptionsAccepted) {
    return (vmOptionsAccepted && argument.starts_with(kVmOptionPrefix)) ||
           argument.starts_with(kLocaleOption);
}
} // namespace

std::u16string resolveLogPath(launcher::LaunchContext& ctx, const std::u16string& configured) {
    std::u16string path = configured;
    expandVariables(ctx, path, false);
    if (path.starts_with(u'$'))
        return path;
    return ctx.paths.getFullPathW(path, true, false);
}

std::vector<std::u16string> buildMainArguments(launcher::LaunchContext& ctx) {
    const config::ConfigBlock& config = ctx.config;
    std::vector<std::u16string> list;
    list.push_back(flagText(config.getInt(kLauncherType) == 1));
    list.push_back(config.getWString(kMainClass));
    list.push_back(logPathArgument(ctx, kPassErrorLog, kErrorLogFile));
    list.push_back(logPathArgument(ctx, kPassOutputLog, kOutputLogFile));
    list.push_back(flagText(config.getInt(kEntryFlag) != 0));
    if (!ctx.arguments.empty())
        list.push_back(ctx.arguments[0]);

    std::u16string fixed = config.getWString(kMainArguments, kFixedArgumentsCapacity);
    expandVariables(ctx, fixed, false);
    launcher::splitCommandLine(fixed, list);

    bool vmOptionsAccepted = config.getInt(kAcceptJOptions) != 0;
    for (size_t i = 1; i < ctx.arguments.size(); ++i) {
        if (!isForTheVm(ctx.arguments[i], vmOptionsAccepted))
            list.push_back(ctx.arguments[i]);
    }
    return list;
}

} // namespace kwn::windows
