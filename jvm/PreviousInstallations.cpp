#include "jvm/PreviousInstallations.h"

#include "config/ConfigKeys.h"
#include "jvm/RegistryText.h"
#include "jvm/SearchSequence.h"
#include "launcher/LaunchContext.h"

namespace kwn::jvm {

namespace {
using platform::RegistryRoot;
using platform::RegistryView;

constexpr const char* kInstallationsKey = "SOFTWARE\\corvane-systems\\kestrowan\\installations";
// KEY_WOW64_32KEY and the predefined root handles, as the log line shows the search's state.
constexpr unsigned kWow64View32 = 0x0200;
constexpr unsigned long kCurrentUserHandle = 0x80000001;
constexpr unsigned long kLocalMachineHandle = 0x80000002;

std::optional<std::string> checkInstallation(launcher::LaunchContext& ctx,
                                             const std::string& directory,
                                             const VersionBounds& bounds) {
    std::string home = directory + "\\jre";
    std::optional<HomeCandidate> candidate = candidateFromHome(ctx, home, bounds);
    if (!candidate) {
        ctx.log.logMessage("did not find java in %s", home);
        return std::nullopt;
    }
    std::string version;
    if (checkJavaExe(ctx, candidate->executable, version, candidate->bounds,
                     /*allowPreRelease=*/false))
        return candidate->executable;
    ctx.log.logMessage("java version did not match in %s", home);
    return std::nullopt;
}

std::optional<std::string> readInstallations(launcher::LaunchContext& ctx, RegistryRoot root,
                                             RegistryView view, const std::string& applicationId) {
    std::uint32_t error = 0;
    std::unique_ptr<platform::RegistryKey> key =
        ctx.os.registry.open(root, kInstallationsKey, view, error);
    if (!key) {
        ctx.log.logMessage("could not open installation node %d", error);
        return std::nullopt;
    }
    std::optional<std::string> value =
        readRegistryText(*key, applicationId, static_cast<std::uint32_t>(config::kTextCapacity));
    if (!value || value->empty()) {
        ctx.log.logMessage("could not query value node %d", 0);
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> findInView(launcher::LaunchContext& ctx, RegistryRoot root,
                                      RegistryView view, const VersionBounds& bounds) {
    std::string applicationId = ctx.config.getString(config::key::kApplicationId);
    unsigned viewFlag = view == RegistryView::Registry32 ? kWow64View32 : 0;
    unsigned long rootHandle =
        root == RegistryRoot::CurrentUser ? kCurrentUserHandle : kLocalMachineHandle;
    ctx.log.logMessage("checking app id %s (%d, %p)", applicationId, viewFlag, rootHandle);
    if (applicationId.empty())
        return std::nullopt;
    std::optional<std::string> installations = readInstallations(ctx, root, view, applicationId);
    if (!installations)
        return std::nullopt;
    ctx.log.logMessage("found installations: %s", *installations);
    for (const std::string& directory : splitList(*installations))
        if (std::optional<std::string> executable = checkInstallation(ctx, directory, bounds))
            return executable;
    return std::nullopt;
}
} // namespace

std::optional<std::string> findPreviousInstallation(launcher::LaunchContext& ctx, RegistryRoot root,
                                                    const VersionBounds& bounds) {
    for (RegistryView view : {RegistryView::Default, RegistryView::Registry32})
        if (std::optional<std::string> executable = findInView(ctx, root, view, bounds))
            return executable;
    return std::nullopt;
}

} // namespace kwn::jvm
