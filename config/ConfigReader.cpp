#include "config/ConfigReader.h"

namespace kwn::config {

namespace {
void readNarrowEntries(BlockFile& file, ConfigBlock& block) {
    std::int32_t count = file.readInt();
    for (std::int32_t i = 0; i < count; ++i) {
        Key key = file.readInt();
        std::string value = file.readString();
        if (file.failure())
            return;
        block.setNarrow(key, std::move(value));
    }
}

void readWideEntries(BlockFile& file, ConfigBlock& block) {
    std::int32_t count = file.readInt();
    for (std::int32_t i = 0; i < count; ++i) {
        Key key = file.readInt();
        std::u16string value = file.readWString();
        if (file.failure())
            return;
        block.setWide(key, std::move(value));
    }
}

// A group applies when its name is a prefix of the locale name ("de" applies to "de_AT").
void readLocaleGroups(BlockFile& file, ConfigBlock& block, const std::string& localeName) {
    std::int32_t groups = file.readInt();
    for (std::int32_t g = 0; g < groups && !file.failure(); ++g) {
        bool matches = localeName.starts_with(file.readString());
        std::int32_t entries = file.readInt();
        for (std::int32_t e = 0; e < entries; ++e) {
            Key key = file.readInt();
            std::u16string value = file.readWString();
            if (file.failure())
                return;
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
    if (!file)
        log.logError("Could not open %S", modulePath);
    return file;
}

bool seekToConfigBlock(BlockFile& file, diag::NativeLog& log) {
    file.seek(60);
    std::int64_t peOffset = file.readInt();
    file.seek(peOffset + 6);
    std::int64_t sections = file.readShort();
    if (file.failure())
        return false;
    log.logMessage("number of sections: %d", sections);
    file.seek(peOffset + 20);
    std::int64_t optionalHeaderSize = file.readShort();
    if (file.failure())
        return false;
    log.logMessage("size of optional headers: %d", optionalHeaderSize);
    // The walk trusts the last entry of the section table, as the build tool appends there.
    std::int64_t lastSection = peOffset + optionalHeaderSize + 40 * sections - 16;
    log.logMessage("resSectionTableStart: %d", lastSection);
    file.seek(lastSection + 16);
    std::int64_t rawDataSize = file.readInt();
    std::int64_t rawDataOffset = file.readInt();
    if (file.failure())
        return false;
    log.logMessage("rawDataSize: %d, rawDataOffset: %d", rawDataSize, rawDataOffset);
    file.seek(rawDataOffset + rawDataSize);
    return true;
}

std::optional<std::string> readConfigBlock(platform::Files& files, const std::u16string& modulePath,
                                           diag::NativeLog& log, ConfigBlock& block,
                                           const std::function<std::string()>& detectLocale) {
    std::unique_ptr<platform::ReadableFile> handle = openLauncherFile(files, modulePath, log);
    if (!handle)
        return kOpenFailure;
    BlockFile file(*handle, log);
    if (!seekToConfigBlock(file, log))
        return file.failure();
    std::uint32_t magic = static_cast<std::uint32_t>(file.readInt());
    if (file.failure())
        return file.failure();
    if (magic != kBlockMagic)
        return "Internal Error: magic";
    file.readInt(); // two header words and the header length: written, never interpreted
    file.readInt();
    file.readLong();
    readNarrowEntries(file, block);
    readWideEntries(file, block);
    if (file.failure())
        return file.failure();
    std::string localeName = detectLocale();
    readLocaleGroups(file, block, localeName);
    if (file.failure())
        return file.failure();
    block.setBlockEndPosition(file.position());
    return std::nullopt;
}

} // namespace kwn::config
