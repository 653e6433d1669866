#include "files/PackedRuntime.h"

#include "files/FileQueries.h"
#include "launcher/LaunchContext.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kwn::files {

namespace {
using launcher::LaunchContext;

// lib first: the class archives there are what the runtime needs to start at all.
constexpr std::array<std::string_view, 2> kPackedDirectories = {"lib", "lib\\ext"};
constexpr std::string_view kPackSuffix = ".pack";
constexpr std::uint32_t kErrorFileNotFound = 2; // ERROR_FILE_NOT_FOUND

std::string withoutPackSuffix(const std::string& name) {
    return name.substr(0, name.size() - std::min(kPackSuffix.size(), name.size()));
}

// Deleted whatever the tool did: a failed unpack leaves no archive, so the runtime fails its
// probe, and no later start runs the tool on the same pack file again.
void removePackFile(LaunchContext& ctx, const std::string& packPath) {
    std::uint32_t error = 0;
    if (!ctx.os.files.deleteFile(packPath, error) && error != kErrorFileNotFound)
        ctx.log.logMessage("could not delete packed file (error %d)", error);
}

void unpackArchive(LaunchContext& ctx, const std::string& runtimeDirectory,
                   const std::string& packPath) {
    std::string archivePath = withoutPackSuffix(packPath);
    if (!fileExists(ctx.os.files, packPath)) {
        ctx.log.logMessage("pack path doesn't exists");
        return;
    }
    std::string program = runtimeDirectory + "\\bin\\unpack200.exe";
    // Both paths quoted, so that blanks in the runtime's directory reach the tool intact.
    std::string arguments = "-r \"" + packPath + "\" \"" + archivePath + "\"";
    ctx.log.logMessage("%s", program);
    ctx.log.logMessage("%s", arguments);
    platform::StartResult started = ctx.os.programs.startProgramHidden(program, arguments);
    if (!started.child) {
        ctx.log.logMessage("could not create unpack process");
        ctx.errors.fatalMessage(config::key::kMessageInternalError, std::string("20"));
    }
    ctx.log.logMessage("waiting for unpack200 to finish");
    started.child->wait(std::nullopt); // a large archive takes as long as it takes
    ctx.log.logMessage("unpack done");
    removePackFile(ctx, packPath);
}

// The user sees one line for the whole runtime, however many archives it holds.
void announceOnce(LaunchContext& ctx, bool& announced) {
    if (announced)
        return;
    ctx.log.logMessage("Unpacking JRE");
    ctx.os.console.writeOutput("Preparing JRE ...\n");
    announced = true;
}

void unpackDirectory(LaunchContext& ctx, const std::string& runtimeDirectory,
                     std::string_view subdirectory, bool& announced) {
    std::string directory = runtimeDirectory + "\\" + std::string(subdirectory);
    std::optional<std::vector<platform::DirectoryEntry>> packs =
        ctx.os.files.findFiles(directory + "\\*.jar.pack");
    if (!packs)
        return;
    for (const platform::DirectoryEntry& pack : *packs) {
        std::string archiveName = withoutPackSuffix(pack.name);
        std::string archivePath = directory + "\\" + archiveName;
        ctx.log.logMessage("checking %s", archivePath);
        // An existing archive is done, even when its pack file could not be deleted.
        if (fileExists(ctx.os.files, archivePath))
            continue;
        announceOnce(ctx, announced);
        unpackArchive(ctx, runtimeDirectory, archivePath + std::string(kPackSuffix));
    }
}
} // namespace

void unpackRuntime(LaunchContext& ctx, const std::string& runtimeDirectory) {
    bool announced = false;
    for (std::string_view subdirectory : kPackedDirectories)
        unpackDirectory(ctx, runtimeDirectory, subdirectory, announced);
    if (announced)
        ctx.log.logMessage("Unpacking JRE done");
}

} // namespace kwn::files
