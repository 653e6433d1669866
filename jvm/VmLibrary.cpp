#include "jvm/VmLibrary.h"

#include "files/FileQueries.h"
#include "jvm/JvmSearch.h"
#include "launcher/LaunchContext.h"
#include "launcher/LauncherWidth.h"
#include "windows/VariableExpansion.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kwn::jvm {

namespace {
using launcher::LaunchContext;
using platform::Library;

constexpr std::string_view kWindowedExecutable = "javaw.exe";
constexpr std::size_t kConsoleExecutableLength = 8; // "java.exe"
constexpr std::size_t kPreferredVmTypeCapacity = 200;
// Where the runtimes of the last two decades keep their VM library, most common first.
constexpr std::array<std::string_view, 5> kVmTypes = {"hotspot", "client", "server", "classic",
                                                      "jrockit"};
constexpr std::string_view kEntryPoint = "JNI_CreateJavaVM";

// The executable's directory with its trailing backslash. Anything that does not end in
// "javaw.exe" is taken to end in "java.exe": the search hands over no other names.
std::string directoryOf(const std::string& executable) {
    std::size_t name = executable.ends_with(kWindowedExecutable) ? kWindowedExecutable.size()
                                                                 : kConsoleExecutableLength;
    return executable.substr(0, executable.size() - std::min(name, executable.size()));
}

std::string binDirectoryOf(const std::string& executable) {
    std::string directory = directoryOf(executable);
    if (!directory.empty())
        directory.pop_back();
    return directory;
}

// Both environments: the VM's own library loading may read either of them.
void setPath(LaunchContext& ctx, const std::string& value) {
    if (std::uint32_t error = ctx.os.environment.set("PATH", value))
        ctx.log.logMessage("Setting PATH %s failed with error %d", value, error);
    else
        ctx.log.logMessage("Setting PATH %s", value);
    ctx.os.environment.putRuntimeVariable("PATH=" + value);
}

// Loaded whatever the existence check says: that check can fail where loading works (a directory
// that may not be listed), so it only decides whether a failure is worth a log line.
std::unique_ptr<Library> tryLibrary(LaunchContext& ctx, const std::string& binDirectory,
                                    std::string_view vmType) {
    std::string file = binDirectory + "\\" + std::string(vmType) + "\\jvm.dll";
    bool exists = files::fileExists(ctx.os.files, file);
    ctx.log.logMessage("Trying %s (exists %d)", file, exists ? 1 : 0);
    platform::LoadResult loaded = ctx.os.programs.loadLibrary(file);
    // A library of the other processor width fails here; saying why helps whoever reads the log.
    if (!loaded.library && exists)
        ctx.log.logMessage("Failed with error code %d", loaded.error);
    return std::move(loaded.library);
}

// The VM loads its companion libraries from its bin directory, so PATH must name it before the
// VM library is loaded, and keeps naming it when one loads.
std::unique_ptr<Library> tryBinDirectory(LaunchContext& ctx, const std::string& executable) {
    std::string binDirectory = binDirectoryOf(executable);
    std::string oldPath = ctx.os.environment.get("PATH").value_or("");
    setPath(ctx, oldPath + ";" + binDirectory);
    std::unique_ptr<Library> library;
    std::string preferred =
        ctx.config.getString(config::key::kPreferredVmType, kPreferredVmTypeCapacity);
    if (!preferred.empty())
        library = tryLibrary(ctx, binDirectory, preferred);
    for (std::size_t i = 0; !library && i < kVmTypes.size(); ++i)
        library = tryLibrary(ctx, binDirectory, kVmTypes[i]);
    if (!library)
        setPath(ctx, oldPath);
    return library;
}

// Says which runtime could not be used, as precisely as the place it was found allows.
void reportUnusableRuntime(LaunchContext& ctx, const SearchResult& found) {
    constexpr launcher::LauncherWidth width = launcher::launcherWidth();
    switch (found.type) {
    case LocationType::SearchPath:
        ctx.errors.displayMessage(config::key::kMessageNoJvm, std::string(width.bits));
        break;
    case LocationType::Variable:
        ctx.errors.displayMessage(width.brokenEnvironmentRuntime, found.locationName);
        break;
    case LocationType::Directory:
        ctx.errors.displayMessage(width.brokenDirectoryRuntime, found.locationName);
        break;
    case LocationType::Registry:
        ctx.errors.displayMessageW(config::key::kMessageVmStartFailed, std::nullopt);
        break;
    case LocationType::None:
        break;
    }
}
} // namespace

bool LoadDLL(LaunchContext& ctx) {
    const char* presetLocation = nullptr; // the launcher never presets a runtime
    ctx.log.logMessage("LoadDLL (%d, %s, %d)", 1, presetLocation, 0);
    SearchResult found = searchJvm(ctx);
    if (found.type == LocationType::None) {
        ctx.log.logError("No JVM found");
        ctx.errors.displayMessage(config::key::kMessageNoJvm,
                                  std::string(launcher::launcherWidth().bits));
        return false;
    }
    windows::setJvmHome(ctx, found.executable);
    if (!found.library)
        ctx.log.logError("Could not get DLL-Handle.");
    void* entryPoint = found.library ? found.library->symbol(std::string(kEntryPoint)) : nullptr;
    if (!entryPoint) {
        ctx.log.logError("Could not load functions");
        reportUnusableRuntime(ctx, found);
        return false;
    }
    ctx.vmLibrary = std::move(found.library);
    ctx.createJavaVm = entryPoint;
    ctx.log.logMessage("Loading of JVM-DLL successful");
    return true;
}

std::unique_ptr<Library> loadJvmDll(LaunchContext& ctx, const std::string& executable) {
    ctx.log.logMessage("Trying to load JVM-DLL from %s", executable);
    if (std::unique_ptr<Library> library = tryBinDirectory(ctx, executable))
        return library;
    // A JDK's own bin directory may hold no VM library; the runtime inside it does.
    return tryBinDirectory(ctx, directoryOf(executable) + "..\\jre\\bin\\java.exe");
}

} // namespace kwn::jvm
