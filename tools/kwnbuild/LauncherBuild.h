#pragma once
// One build: a stub and the configuration in, the application's launcher out.
#include "tools/kwnbuild/ConfigModel.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kwn::build {

struct BuildRequest {
    std::filesystem::path stub;
    std::filesystem::path output;
    std::optional<std::filesystem::path> config;
    std::vector<std::string> settings; // "KEY=VALUE", applied after the file, in order
};

// The configuration file with the settings applied over it.
ConfigModel collectConfig(const BuildRequest& request);

// The launcher's bytes: the stub, the block right behind its image, the trailer and padding.
// A stub that fails validateStub is a BuildError naming `stubName`.
std::vector<unsigned char> assembleLauncher(std::span<const unsigned char> stub,
                                            const std::string& stubName, const ConfigModel& model);

// Writes the launcher to request.output, or throws BuildError and leaves the output untouched.
void buildLauncher(const BuildRequest& request);

} // namespace kwn::build
