#pragma once
// One build: a stub, the configuration and the included files in, the application's launcher out.
#include "tools/kwnbuild/ByteSink.h"
#include "tools/kwnbuild/ConfigModel.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace kwn::build {

struct BuildRequest {
    std::filesystem::path stub;
    std::filesystem::path output;
    std::optional<std::filesystem::path> config;
    std::vector<std::string> settings = {}; // "KEY=VALUE", applied after the file, in order
    std::vector<std::string> includes = {}; // "NAME=SOURCE", after the file's [[file]] entries
    // Receives progress lines for large included files; null for none.
    std::ostream* progress = nullptr;
    // kwnruntime.jar to place beside the output; none when not set.
    std::optional<std::filesystem::path> runtimeJar = std::nullopt;
};

// The configuration file with the settings applied over it and the included files appended,
// keys 2002 and 2003 set from them, and resource paths made relative to the file.
ConfigModel collectConfig(const BuildRequest& request);

// Writes the launcher to `out`: the stub with the application's resources, the block right
// behind its image, the included-file records, the trailer and padding; a checksum the stub
// carries is set over the whole file. Every source is checked before the first byte is written.
// A stub that fails validateStub is a BuildError naming `stubName`.
void writeLauncher(ByteSink& out, std::span<const unsigned char> stub, const std::string& stubName,
                   const ConfigModel& model, std::ostream* progress = nullptr);

// The launcher's bytes, as writeLauncher writes them.
std::vector<unsigned char> assembleLauncher(std::span<const unsigned char> stub,
                                            const std::string& stubName, const ConfigModel& model);

// Writes the runtime jar, if requested, and then the launcher to request.output, or throws
// BuildError and leaves the output untouched.
void buildLauncher(const BuildRequest& request);

} // namespace kwn::build
