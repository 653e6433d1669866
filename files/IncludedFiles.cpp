#include "files/IncludedFiles.h"

#include "config/ConfigReader.h"
#include "files/IncludedFileName.h"
#include "files/TempDirectories.h"
#include "launcher/LaunchContext.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace kwn::files {

namespace {
using launcher::LaunchContext;

// Large enough that the per-call cost of ReadFile and WriteFile (high under Wine) stays small
// next to the copying itself; one buffer serves every file, nothing is allocated per chunk.
constexpr std::uint32_t kCopyChunk = 256 * 1024;
constexpr std::uint32_t kErrorAlreadyExists = 183; // ERROR_ALREADY_EXISTS
// The buffer copyFileData reads and writes through.
std::vector<unsigned char> copyBuffer;

// A word at a time: the byte loop alone cost as much as the disk writes.
void descramble(unsigned char* bytes, std::uint32_t count) {
    constexpr std::uint64_t kWordKey = 0x0101010101010101ull * kContentKey;
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        word ^= kWordKey;
        std::memcpy(bytes + i, &word, 8);
    }
    for (; i < count; ++i)
        bytes[i] ^= kContentKey;
}

// Internal error "11": an included file cannot be written where its name says.
[[noreturn]] void failToCreate(LaunchContext& ctx) {
    ctx.errors.fatalMessage(config::key::kMessageInternalError, std::string("11"));
}

// ";"-separated, and a run of separators yields no empty names.
std::vector<std::string> splitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = std::min(list.find(';', start), list.size());
        if (end > start)
            names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The system's own resolution of the target must still lie below the temp directory; this also
// holds back what the name rule cannot know, such as an empty temp directory.
bool resolvesInside(LaunchContext& ctx, const std::string& target) {
    if (ctx.tempDirectory.empty())
        return false;
    std::optional<std::string> directory = ctx.os.files.fullPathName(ctx.tempDirectory);
    std::optional<std::string> resolved = ctx.os.files.fullPathName(target);
    if (!directory || !resolved || directory->empty())
        return false;
    std::string prefix = directory->back() == '\\' ? *directory : *directory + "\\";
    return resolved->size() > prefix.size() && resolved->starts_with(prefix);
}

// A name that would be written elsewhere is treated like a target that cannot be created.
void refuseUnsafeName(LaunchContext& ctx, const std::string& name, const std::string& target) {
    std::optional<std::string_view> fault = includedNameFault(name);
    if (!fault && resolvesInside(ctx, target))
        return;
    ctx.log.logError("refusing included file name %s (%s)", name,
                     fault.value_or("outside the temp directory"));
    failToCreate(ctx);
}

// Only the first level is created; a failure shows later, when the file cannot be created.
void createNameDirectory(LaunchContext& ctx, const std::string& name) {
    size_t backslash = name.find('\\');
    if (backslash == std::string::npos)
        return;
    std::string directory = ctx.tempDirectory + "\\" + name.substr(0, backslash);
    ctx.log.logMessage("creating directory %s", directory);
    std::uint32_t error = ctx.os.files.createDirectory(directory);
    if (error != 0 && error != kErrorAlreadyExists)
        ctx.log.logError("failed to create directory %s", directory);
}

int extractNamed(LaunchContext& ctx, config::BlockFile& file, const std::string& name) {
    std::string target = ctx.tempDirectory + "\\" + name;
    refuseUnsafeName(ctx, name, target);
    createNameDirectory(ctx, name);
    int result = extractOneFile(ctx, file, target);
    if (result != kExtracted)
        ctx.log.logError("Failed to extract %s", target);
    return result;
}

// The records follow one another in the order of the names; n bounds how many are taken.
int extractRecords(LaunchContext& ctx, config::BlockFile& file, std::int32_t count) {
    std::vector<std::string> names =
        splitNames(ctx.config.getString(config::key::kIncludedFileNames));
    std::int32_t processed = 0;
    for (const std::string& name : names) {
        if (processed >= count)
            break;
        if (int result = extractNamed(ctx, file, name); result != kExtracted)
            return result;
        ++processed;
    }
    // Handed to Java as the 32-bit offset the records are addressed by.
    ctx.unextractedPosition = static_cast<std::int32_t>(file.position() & 0xFFFFFFFF);
    return kExtracted;
}

bool writeAll(LaunchContext& ctx, platform::WritableFile& target, const unsigned char* data,
              std::uint32_t count) {
    while (count > 0) {
        platform::WritableFile::WriteResult written = target.write(data, count);
        // A write that succeeds without taking a byte would never finish; it counts as failed.
        if (!written.ok || written.bytesWritten == 0) {
            ctx.log.logError("WriteFile failed %d %d", count, written.error);
            return false;
        }
        data += written.bytesWritten;
        count -= std::min(count, written.bytesWritten);
    }
    return true;
}
} // namespace

int extractIncludedFiles(LaunchContext& ctx, bool createTempDirectory) {
    ctx.log.logMessage("extracting files");
    std::int32_t count = ctx.config.getInt(config::key::kIncludedFileCount);
    ctx.log.logMessage("Included files: %d", count);
    if (count == 0) {
        if (createTempDirectory)
            ctx.tempDirectory.clear();
        return kExtracted;
    }
    if (createTempDirectory)
        createLauncherTempDirectory(ctx);
    std::unique_ptr<platform::ReadableFile> handle =
        config::openLauncherFile(ctx.os.files, ctx.paths.getModulePathW(), ctx.log);
    if (!handle)
        ctx.errors.fatalText(config::kOpenFailure);
    config::BlockFile file(*handle, ctx.log);
    file.seek(ctx.config.blockEndPosition());
    int result = extractRecords(ctx, file, count);
    if (result == kExtracted)
        ctx.log.logMessage("extracting files done");
    return result;
}

int extractOneFile(LaunchContext& ctx, config::BlockFile& file, const std::string& targetPath) {
    std::int64_t size = file.readLong();
    if (file.failure())
        ctx.errors.fatalText(file.failure());
    ctx.log.logMessage("extracting %s (size: %I64d)", targetPath, size);
    if (size <= 0)
        return kExtracted;
    std::uint32_t error = 0;
    std::unique_ptr<platform::WritableFile> target =
        ctx.os.files.createForWriting(targetPath, error);
    if (!target)
        failToCreate(ctx);
    return copyFileData(ctx, file, *target, size, true);
}

int copyFileData(LaunchContext& ctx, config::BlockFile& source, platform::WritableFile& target,
                 std::int64_t size, bool scrambled) {
    if (size <= 0)
        return kExtracted;
    // Extraction runs once, on the main thread: one buffer for the process, allocated on first
    // use (a static array would be stored in every launcher file). At namespace scope rather
    // than a local static, whose guard would bring the library's exception support back.
    if (copyBuffer.empty())
        copyBuffer.resize(kCopyChunk);
    std::vector<unsigned char>& buffer = copyBuffer;
    std::int64_t total = 0;
    while (true) {
        auto wanted = static_cast<std::uint32_t>(std::min<std::int64_t>(kCopyChunk, size - total));
        platform::ReadableFile::ReadResult got = source.readUpTo(buffer.data(), wanted);
        if (!got.ok || got.bytesRead == 0) {
            ctx.log.logError("ReadFile failed %d %d %I64d", got.bytesRead, got.error, total);
            return kReadFailed;
        }
        if (scrambled)
            descramble(buffer.data(), got.bytesRead);
        if (!writeAll(ctx, target, buffer.data(), got.bytesRead))
            return kWriteFailed;
        total += got.bytesRead;
        if (total >= size)
            return kExtracted;
    }
}

} // namespace kwn::files
