#include "tools/kwnbuild/RuntimeJar.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/WholeFile.h"

#include <algorithm>
#include <system_error>

namespace kwn::build {

namespace {
constexpr Key kFlavour = 2001;
constexpr Key kClassPath = 121;
constexpr Key kInstallDirectory = 10003;
const char kJarPlace[] = ".kestrowan\\kwnruntime.jar";

bool secondFlavour(const ConfigModel& model) {
    auto flavour = model.narrow.find(kFlavour);
    return flavour != model.narrow.end() && flavour->second.starts_with('i');
}

// The launcher makes key 10003 absolute against its own directory; the build can follow only a
// plain relative directory, without variables or a drive.
std::string installDirectory(const ConfigModel& model) {
    auto entry = model.narrow.find(kInstallDirectory);
    std::string directory = entry == model.narrow.end() ? "" : entry->second;
    if (directory.empty() || directory == "." || directory == ".\\")
        return "";
    if (directory.find_first_of("%:") != std::string::npos || directory.starts_with('\\') ||
        directory.starts_with('/'))
        throw BuildError("key 10003 (installation directory) '" + directory +
                         "' is not a plain relative directory, so the build cannot place "
                         "kwnruntime.jar under it; place it yourself and build with "
                         "--no-runtime-jar");
    return directory.ends_with('\\') ? directory : directory + "\\";
}
} // namespace

std::filesystem::path runtimeJarPlace(const ConfigModel& model) {
    std::string place = (secondFlavour(model) ? installDirectory(model) : "") + kJarPlace;
    std::replace(place.begin(), place.end(), '\\', '/');
    return place;
}

void addRuntimeJarToClassPath(ConfigModel& model) {
    if (secondFlavour(model))
        return;
    std::string entry = std::string("A1") + kJarPlace;
    std::string& classPath = model.narrow[kClassPath];
    if ((";" + classPath + ";").find(";" + entry + ";") == std::string::npos)
        classPath = classPath.empty() ? entry : entry + ";" + classPath;
}

std::vector<unsigned char> readRuntimeJar(const std::filesystem::path& jar) {
    std::error_code error;
    if (!std::filesystem::exists(jar, error))
        throw BuildError("the runtime jar '" + jar.string() +
                         "' does not exist; name one with --runtime-jar PATH, or build without "
                         "it with --no-runtime-jar");
    return readWholeFile(jar, "runtime jar");
}

void placeRuntimeJar(std::span<const unsigned char> jar, const std::filesystem::path& launcher,
                     const ConfigModel& model) {
    std::error_code error;
    std::filesystem::path target = launcher.parent_path() / runtimeJarPlace(model);
    std::filesystem::create_directories(target.parent_path(), error);
    if (error)
        throw BuildError("cannot create '" + target.parent_path().string() +
                         "': " + error.message());
    replaceWholeFile(target, jar);
}

std::filesystem::path defaultRuntimeJar(const char* argv0) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        self = std::filesystem::absolute(argv0, error);
    return self.parent_path().parent_path() / "lib" / "kwnruntime.jar";
}

} // namespace kwn::build
