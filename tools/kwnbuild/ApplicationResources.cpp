#include "tools/kwnbuild/ApplicationResources.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/WholeFile.h"

#include <algorithm>
#include <set>

namespace kwn::build {

namespace {
using Bytes = std::vector<unsigned char>;

constexpr std::uint16_t kIconGroup = 1001;
constexpr std::uint16_t kSplashPicture = 10000;
constexpr std::uint16_t kManifest = 1; // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr std::uint16_t kVersion = 1;
constexpr std::uint16_t kUsEnglish = 0x409;
constexpr std::size_t kIconDirectorySize = 6;
constexpr std::size_t kIconFileEntrySize = 16;
constexpr std::size_t kIconEntryShared = 12;
constexpr std::size_t kGroupEntrySize = 14; // the shared part and the RT_ICON number
constexpr std::size_t kBitmapFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kPngEnd[] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

[[noreturn]] void fail(const std::string& what, const std::string& why) {
    throw BuildError(what + ": " + why);
}

bool startsWith(std::span<const unsigned char> bytes, std::span<const unsigned char> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool endsWith(std::span<const unsigned char> bytes, std::span<const unsigned char> suffix) {
    return bytes.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(),
                      bytes.end() - static_cast<std::ptrdiff_t>(suffix.size()));
}

bool validBitCount(std::uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Icon images are PNG files or a BITMAPINFOHEADER with the colour and mask bitmaps behind it.
void checkIconImage(std::span<const unsigned char> image, const std::string& where) {
    if (startsWith(image, kPngSignature))
        return;
    if (image.size() < kInfoHeaderSize || readLittleEndian(image, 0, 4) != kInfoHeaderSize ||
        readLittleEndian(image, 12, 2) != 1 || !validBitCount(readLittleEndian(image, 14, 2)))
        fail(where, "neither a PNG image nor a bitmap with a 40-byte header");
}

ResourceTree::const_iterator findResource(const ResourceTree& tree, std::uint16_t type,
                                          std::uint16_t name) {
    return std::find_if(tree.begin(), tree.end(), [&](const auto& entry) {
        return entry.first.type == resourceNumber(type) && entry.first.name == resourceNumber(name);
    });
}

// The stub's language, so that replaced and added resources sit beside the ones kept.
std::uint16_t languageOf(const ResourceTree& tree, std::uint16_t type, std::uint16_t name) {
    auto found = findResource(tree, type, name);
    if (found != tree.end())
        return found->first.language;
    return tree.empty() ? kUsEnglish : tree.begin()->first.language;
}

void eraseAll(ResourceTree& tree, std::uint16_t type, std::uint16_t name) {
    std::erase_if(tree, [&](const auto& entry) {
        return entry.first.type == resourceNumber(type) && entry.first.name == resourceNumber(name);
    });
}

void replace(ResourceTree& tree, std::uint16_t type, std::uint16_t name, Bytes data) {
    std::uint16_t language = languageOf(tree, type, name);
    eraseAll(tree, type, name);
    tree[{resourceNumber(type), resourceNumber(name), language}] = std::move(data);
}

// The RT_ICON numbers a group's entries name.
std::set<std::uint16_t> imagesOf(const Bytes& group) {
    std::set<std::uint16_t> images;
    std::size_t count = group.size() >= kIconDirectorySize ? readLittleEndian(group, 4, 2) : 0;
    for (std::size_t i = 0;
         i < count && kIconDirectorySize + kGroupEntrySize * (i + 1) <= group.size(); ++i)
        images.insert(static_cast<std::uint16_t>(
            readLittleEndian(group, kIconDirectorySize + kGroupEntrySize * i + 12, 2)));
    return images;
}

void replaceIcon(ResourceTree& tree, const std::vector<IconImage>& images) {
    std::uint16_t language = languageOf(tree, resource_type::kGroupIcon, kIconGroup);
    std::set<std::uint16_t> dropped, kept;
    for (const auto& [key, data] : tree) {
        if (key.type == resourceNumber(resource_type::kGroupIcon))
            (key.name == resourceNumber(kIconGroup) ? dropped : kept).merge(imagesOf(data));
    }
    eraseAll(tree, resource_type::kGroupIcon, kIconGroup);
    // Images another group still shows (the splash window's icon) stay.
    std::erase_if(tree, [&](const auto& entry) {
        return entry.first.type == resourceNumber(resource_type::kIcon) &&
               !entry.first.name.named && dropped.contains(entry.first.name.number) &&
               !kept.contains(entry.first.name.number);
    });
    std::set<std::uint16_t> taken;
    for (const auto& [key, data] : tree) {
        if (key.type == resourceNumber(resource_type::kIcon) && !key.name.named)
            taken.insert(key.name.number);
    }
    Bytes group = {0, 0, 1, 0, 0, 0};
    putLittleEndian(group, 4, images.size(), 2);
    std::uint16_t number = 1;
    for (const IconImage& image : images) {
        while (taken.contains(number))
            ++number;
        tree[{resourceNumber(resource_type::kIcon), resourceNumber(number), language}] = image.data;
        group.insert(group.end(), image.directoryEntry.begin(), image.directoryEntry.end());
        group.insert(group.end(),
                     {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8)});
        taken.insert(number);
    }
    tree[{resourceNumber(resource_type::kGroupIcon), resourceNumber(kIconGroup), language}] = group;
}

Bytes readInput(const std::filesystem::path& path, const std::string& setting,
                const std::string& origin) {
    return readWholeFile(path, (origin + " " + setting).c_str());
}
} // namespace

void ResourceSettings::resolveAgainst(const std::filesystem::path& directory) {
    for (std::optional<std::filesystem::path>* path : {&icon, &splashBitmap, &splashImage}) {
        if (*path)
            **path = directory / **path;
    }
}

std::vector<IconImage> iconImages(std::span<const unsigned char> ico, const std::string& what) {
    if (ico.size() < kIconDirectorySize || readLittleEndian(ico, 0, 2) != 0 ||
        readLittleEndian(ico, 2, 2) != 1)
        fail(what, "not an icon file (.ico)");
    std::size_t count = readLittleEndian(ico, 4, 2);
    std::size_t directoryEnd = kIconDirectorySize + kIconFileEntrySize * count;
    if (count == 0)
        fail(what, "the icon file holds no image");
    if (directoryEnd > ico.size())
        fail(what, "the icon file is cut off in its directory");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = kIconDirectorySize + kIconFileEntrySize * i;
        std::uint64_t size = readLittleEndian(ico, entry + 8, 4);
        std::uint64_t offset = readLittleEndian(ico, entry + 12, 4);
        std::string where = what + ": image " + std::to_string(i + 1);
        if (size == 0 || offset < directoryEnd || offset + size > ico.size())
            fail(where, "its data lies outside the file");
        std::span<const unsigned char> data = ico.subspan(offset, size);
        checkIconImage(data, where);
        images.push_back(
            {Bytes(ico.begin() + static_cast<std::ptrdiff_t>(entry),
                   ico.begin() + static_cast<std::ptrdiff_t>(entry + kIconEntryShared)),
             Bytes(data.begin(), data.end())});
    }
    return images;
}

std::vector<unsigned char> bitmapResource(std::span<const unsigned char> bmp,
                                          const std::string& what) {
    if (bmp.size() < kBitmapFileHeaderSize + kInfoHeaderSize || bmp[0] != 'B' || bmp[1] != 'M')
        fail(what, "not a bitmap file (.bmp)");
    std::span<const unsigned char> info = bmp.subspan(kBitmapFileHeaderSize);
    std::uint32_t headerSize = readLittleEndian(info, 0, 4);
    auto width = static_cast<std::int32_t>(readLittleEndian(info, 4, 4));
    auto height = static_cast<std::int32_t>(readLittleEndian(info, 8, 4));
    std::uint32_t bits = readLittleEndian(info, 14, 2);
    std::uint32_t compression = readLittleEndian(info, 16, 4);
    std::uint64_t pixels = readLittleEndian(bmp, 10, 4);
    if (headerSize < kInfoHeaderSize || kBitmapFileHeaderSize + headerSize > bmp.size())
        fail(what, "the bitmap header is not one Windows reads (an OS/2 or cut-off file?)");
    if (width <= 0 || height == 0 || height == INT32_MIN || readLittleEndian(info, 12, 2) != 1 ||
        !validBitCount(bits) || compression > 3)
        fail(what, "the bitmap header holds an impossible size, plane count, depth or compression");
    // Uncompressed rows are padded to four bytes; bottom-up or top-down, every row must be there.
    std::uint64_t rowBytes =
        (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
    std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -std::int64_t{height} : height);
    std::uint64_t needed = (compression == 0 || compression == 3) ? rowBytes * rows : 1;
    if (pixels < kBitmapFileHeaderSize + headerSize || pixels + needed > bmp.size())
        fail(what, "the bitmap's pixel data is cut off or lies outside the file");
    return Bytes(bmp.begin() + kBitmapFileHeaderSize, bmp.end());
}

void checkSplashImage(std::span<const unsigned char> image, const std::string& what) {
    static const unsigned char kGif87[] = {'G', 'I', 'F', '8', '7', 'a'};
    static const unsigned char kGif89[] = {'G', 'I', 'F', '8', '9', 'a'};
    static const unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF};
    static const unsigned char kGifEnd[] = {0x3B};
    static const unsigned char kJpegEnd[] = {0xFF, 0xD9};
    bool complete;
    if (startsWith(image, kPngSignature))
        complete = endsWith(image, kPngEnd);
    else if (startsWith(image, kGif87) || startsWith(image, kGif89))
        complete = endsWith(image, kGifEnd);
    else if (startsWith(image, kJpeg))
        complete = endsWith(image, kJpegEnd);
    else
        fail(what, "not a PNG, GIF or JPEG image");
    if (!complete)
        fail(what, "the image is cut off (it lacks its end marker)");
}

std::string manifestText(const std::string& executionLevel, const std::string& dpiAware) {
    // The stub's own manifest, with the two settings an application may choose.
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
        "    <security>\n"
        "      <requestedPrivileges>\n"
        "        <requestedExecutionLevel level=\"" +
        executionLevel +
        "\" uiAccess=\"false\"/>\n"
        "      </requestedPrivileges>\n"
        "    </security>\n"
        "  </trustInfo>\n";
    if (dpiAware != "false") {
        bool perMonitor = dpiAware == "per-monitor";
        text += "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
                "    <windowsSettings>\n"
                "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">" +
                std::string(perMonitor ? "true/pm" : "true") + "</dpiAware>\n";
        if (perMonitor)
            text += "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                    "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>\n";
        text += "    </windowsSettings>\n"
                "  </application>\n";
    }
    return text +
           "  <dependency>\n"
           "    <dependentAssembly>\n"
           "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
           "version=\"6.0.0.0\"\n"
           "                        processorArchitecture=\"*\" "
           "publicKeyToken=\"6595b64144ccf1df\" "
           "language=\"*\"/>\n"
           "    </dependentAssembly>\n"
           "  </dependency>\n"
           "</assembly>\n";
}

std::optional<Bytes> iconFile(const ResourceTree& tree) {
    auto group = findResource(tree, resource_type::kGroupIcon, kIconGroup);
    if (group == tree.end() || group->second.size() < kIconDirectorySize)
        return std::nullopt;
    const Bytes& entries = group->second;
    std::size_t count = readLittleEndian(entries, 4, 2);
    if (kIconDirectorySize + kGroupEntrySize * count > entries.size())
        return std::nullopt;
    Bytes file = {0, 0, 1, 0, 0, 0}, images;
    putLittleEndian(file, 4, count, 2);
    std::size_t dataStart = kIconDirectorySize + kIconFileEntrySize * count;
    for (std::size_t i = 0; i < count; ++i) {
        auto entry =
            entries.begin() + static_cast<std::ptrdiff_t>(kIconDirectorySize + kGroupEntrySize * i);
        auto image = findResource(tree, resource_type::kIcon,
                                  static_cast<std::uint16_t>(entry[12] | entry[13] << 8));
        if (image == tree.end())
            return std::nullopt;
        file.insert(file.end(), entry, entry + kIconEntryShared);
        file.resize(file.size() + 4);
        putLittleEndian(file, file.size() - 4, dataStart + images.size(), 4);
        images.insert(images.end(), image->second.begin(), image->second.end());
    }
    file.insert(file.end(), images.begin(), images.end());
    return file;
}

std::optional<Bytes> bitmapFile(const ResourceTree& tree) {
    auto bitmap = findResource(tree, resource_type::kBitmap, kSplashPicture);
    if (bitmap == tree.end() || bitmap->second.size() < kInfoHeaderSize)
        return std::nullopt;
    const Bytes& dib = bitmap->second;
    // The pixels follow the header, the colour masks of a 40-byte header with bit fields, and
    // the palette: all colours of the depth up to 8 bits unless the header names fewer.
    std::uint64_t headerSize = readLittleEndian(dib, 0, 4);
    std::uint64_t bits = readLittleEndian(dib, 14, 2);
    std::uint64_t colours = readLittleEndian(dib, 32, 4);
    std::uint64_t masks =
        readLittleEndian(dib, 16, 4) == 3 && headerSize == kInfoHeaderSize ? 12 : 0;
    if (colours == 0 && bits <= 8)
        colours = std::uint64_t{1} << bits;
    Bytes file(kBitmapFileHeaderSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    putLittleEndian(file, 2, kBitmapFileHeaderSize + dib.size(), 4);
    putLittleEndian(file, 10, kBitmapFileHeaderSize + headerSize + masks + 4 * colours, 4);
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

std::optional<std::pair<Bytes, std::string>> splashImageFile(const ResourceTree& tree) {
    auto image = findResource(tree, resource_type::kRcData, kSplashPicture);
    if (image == tree.end())
        return std::nullopt;
    static const std::pair<Bytes, const char*> kFormats[] = {
        {Bytes(std::begin(kPngSignature), std::end(kPngSignature)), "png"},
        {{'G', 'I', 'F', '8'}, "gif"},
        {{0xFF, 0xD8, 0xFF}, "jpg"}};
    for (const auto& [signature, extension] : kFormats) {
        if (startsWith(image->second, signature))
            return std::pair{image->second, std::string(extension)};
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> manifestSettings(const ResourceTree& tree) {
    auto manifest = findResource(tree, resource_type::kManifest, kManifest);
    if (manifest == tree.end())
        return std::nullopt;
    std::string text(manifest->second.begin(), manifest->second.end());
    for (const char* level : kExecutionLevels) {
        for (const char* dpiAware : {"false", "true", "per-monitor"}) {
            if (manifestText(level, dpiAware) == text)
                return std::pair{std::string(level), std::string(dpiAware)};
        }
    }
    return std::nullopt;
}

void applyResources(ResourceTree& tree, const ResourceSettings& settings) {
    const std::string& origin = settings.origin;
    // Every file is read and checked before the tree changes.
    std::optional<std::vector<IconImage>> icon;
    std::optional<Bytes> bitmap, image;
    if (settings.icon)
        icon = iconImages(readInput(*settings.icon, "icon", origin),
                          origin + " icon '" + settings.icon->string() + "'");
    if (settings.splashBitmap)
        bitmap =
            bitmapResource(readInput(*settings.splashBitmap, "splash-bitmap", origin),
                           origin + " splash-bitmap '" + settings.splashBitmap->string() + "'");
    if (settings.splashImage) {
        image = readInput(*settings.splashImage, "splash-image", origin);
        checkSplashImage(*image, origin + " splash-image '" + settings.splashImage->string() + "'");
    }
    if (icon)
        replaceIcon(tree, *icon);
    if (bitmap)
        replace(tree, resource_type::kBitmap, kSplashPicture, std::move(*bitmap));
    if (image)
        replace(tree, resource_type::kRcData, kSplashPicture, std::move(*image));
    if (settings.executionLevel || settings.dpiAware) {
        std::string text = manifestText(settings.executionLevel.value_or("asInvoker"),
                                        settings.dpiAware.value_or("false"));
        replace(tree, resource_type::kManifest, kManifest, Bytes(text.begin(), text.end()));
    }
    if (settings.version)
        replace(tree, resource_type::kVersion, kVersion,
                encodeVersionInfo(*settings.version,
                                  languageOf(tree, resource_type::kVersion, kVersion)));
}

} // namespace kwn::build
