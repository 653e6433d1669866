#include "config/ConfigReader.h"

namespace kwn::config {

namespace {
const char kOpenFailure[] =
    "Error opening media file. Please move this file to an ascii-only path like c:\\";

void readNarrowEntries(BlockFile& file, ConfigBlock& block) {
    std::int32_t count = file.readInt();
    for (std::int32_t i = 0; i < count; ++i) {
        Key key = file.readInt();
        block.setNarrow(key, file.readString());
    }
}

void readWideEntries(BlockFile& file, ConfigBlock& block) {
    std::int32_t count = file.readInt();
    for (std::int32_t i = 0; i < count; ++i) {
        Key key = file.readInt();
        block.setWide(key, file.readWString());
    }
}

// A group applies when its name is a prefix of the locale name ("de" applies to "de_AT").
void readLocaleGroups(BlockFile& file, ConfigBlock& block, const std::string& localeName) {
    std::int32_t groups = file.readInt();
    for (std::int32_t g = 0; g < groups; ++g) {
        bool matches = localeName.starts_with(file.readString());
        std::int32_t entries = file.readInt();
        for (std::int32_t e = 0; e < entries; ++e) {
            Key key = file.readInt();
            std::u16string value = file.readWString();
            if (matches) {
                block.setLocalized(key, value);
                block.setWide(key, std::move(value));
            }
        }
    }
}
} // namespace

std::unique_ptr<platform::ReadableFile>
openLauncherFile(platform::Files& files, const std::u16string& modulePath, diag::NativeLog& log) {
    std::unique_ptr<platform::ReadableFile> file = files.openForReading(modulePath);
    if (!file) {
        log.logError("Could not open %S", modulePath);
        throw BlockReadError(kOpenFailure);
    }
    return file;
}

void seekToConfigBlock(BlockFile& file, diag::NativeLog& log) {
    file.seek(60);
    std::int64_t peOffset = file.readInt();
    file.seek(peOffset + 6);
    std::int64_t sections = file.readShort();
    log.logMessage("number of sections: %d", sections);
    file.seek(peOffset + 20);
    std::int64_t optionalHeaderSize = file.readShort();
    log.logMessage("size of optional headers: %d", optionalHeaderSize);
    // The walk trusts the last entry of the section table, as the build tool appends there.
    std::int64_t lastSection = peOffset + optionalHeaderSize + 40 * sections - 16;
    log.logMessage("resSectionTableStart: %d", lastSection);
    file.seek(lastSection + 16);
    std::int64_t rawDataSize = file.readInt();
    std::int64_t rawDataOffset = file.readInt();
    log.logMessage("rawDataSize: %d, rawDataOffset: %d", rawDataSize, rawDataOffset);
    file.seek(rawDataOffset + rawDataSize);
}

std::optional<std::string> readConfigBlock(platform::Files& files, const std::u16string& modulePath,
                                           diag::NativeLog& log, ConfigBlock& block,
                                           const std::function<std::string()>& detectLocale) {
    try {
        std::unique_ptr<platform::ReadableFile> handle = openLauncherFile(files, modulePath, log);
        BlockFile file(*handle, log);
        seekToConfigBlock(file, log);
        if (static_cast<std::uint32_t>(file.readInt()) != kBlockMagic)
            return "Internal Error: magic";
        file.readInt(); // two header words and the header length: written, never interpreted
        file.readInt();
        file.readLong();
        readNarrowEntries(file, block);
        readWideEntries(file, block);
        std::string localeName = detectLocale();
        readLocaleGroups(file, block, localeName);
        block.setBlockEndPosition(file.position());
        return std::nullopt;
    } catch (const BlockReadError& failure) {
        return failure.what();
    }
}

} // namespace kwn::config
