#include "tools/kwnbuild/LauncherBuild.h"

#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/WholeFile.h"

#include <limits>
#include <system_error>

namespace kwn::build {

namespace {
// The launcher keeps the position behind its block as a 32-bit value.
constexpr std::uint64_t kMaxBlockEnd = std::numeric_limits<std::int32_t>::max();

bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error))
        return true;
    std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, error);
    std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, error);
    return !error && canonicalA == canonicalB;
}
} // namespace

ConfigModel collectConfig(const BuildRequest& request) {
    ConfigModel model = request.config ? loadConfigFile(*request.config) : ConfigModel{};
    for (const std::string& setting : request.settings)
        applySetting(model, setting);
    return model;
}

std::vector<unsigned char> assembleLauncher(std::span<const unsigned char> stub,
                                            const std::string& stubName, const ConfigModel& model) {
    std::uint64_t imageEnd = 0;
    try {
        imageEnd = validateStub(stub);
    } catch (const BuildError& error) {
        throw BuildError("stub '" + stubName + "': " + error.what());
    }
    std::vector<unsigned char> launcher(stub.begin(), stub.end());
    std::vector<unsigned char> block = encodeConfigBlock(model);
    launcher.insert(launcher.end(), block.begin(), block.end());
    if (imageEnd + block.size() > kMaxBlockEnd)
        throw BuildError("the launcher would exceed 2 GiB, more than the launcher can address");
    std::vector<unsigned char> trailer = encodeTrailer(launcher.size());
    launcher.insert(launcher.end(), trailer.begin(), trailer.end());
    return launcher;
}

void buildLauncher(const BuildRequest& request) {
    if (isSameFile(request.stub, request.output))
        throw BuildError("the output '" + request.output.string() +
                         "' is the stub itself; choose another output path");
    ConfigModel model = collectConfig(request);
    std::vector<unsigned char> stub = readWholeFile(request.stub, "stub");
    replaceWholeFile(request.output, assembleLauncher(stub, request.stub.string(), model));
}

} // namespace kwn::build
