#pragma once
// An application's own resources in its launcher: icon, splash pictures, version information and
// the manifest's execution level and DPI awareness, each replacing what the stub carries. What
// the configuration leaves out stays as the stub has it.
#include "tools/kwnbuild/PeResources.h"
#include "tools/kwnbuild/VersionInfo.h"

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kwn::build {

struct ResourceSettings {
    std::optional<std::filesystem::path> icon;         // .ico, any number of images
    std::optional<std::filesystem::path> splashBitmap; // .bmp, the native splash window's picture
    std::optional<std::filesystem::path> splashImage;  // PNG, GIF or JPEG for the runtime's splash
    std::optional<std::string> executionLevel;         // asInvoker, highestAvailable, ...
    std::optional<std::string> dpiAware;               // "true", "false" or "per-monitor"
    std::optional<VersionInfo> version;
    std::string origin; // where the settings were given, for messages about their files

    bool empty() const {
        return !icon && !splashBitmap && !splashImage && !executionLevel && !dpiAware && !version;
    }
    // Relative paths are meant relative to the configuration file.
    void resolveAgainst(const std::filesystem::path& directory);
};

// Each file is read and checked before anything is changed; BuildError names the setting and the
// file. The stub's icon group 1001 and the icon images only it used are replaced.
void applyResources(ResourceTree& tree, const ResourceSettings& settings);

// Checks of the files' formats, so that a broken file is an error and not a broken launcher. Each
// returns what goes into the resources; BuildError prefixed with `what`.
struct IconImage {
    std::vector<unsigned char> directoryEntry; // width to byte count: the 12 bytes both forms share
    std::vector<unsigned char> data;
};
std::vector<IconImage> iconImages(std::span<const unsigned char> ico, const std::string& what);
std::vector<unsigned char> bitmapResource(std::span<const unsigned char> bmp,
                                          const std::string& what);
void checkSplashImage(std::span<const unsigned char> image, const std::string& what);

inline constexpr std::array<const char*, 3> kExecutionLevels = {"asInvoker", "highestAvailable",
                                                                "requireAdministrator"};
std::string manifestText(const std::string& executionLevel, const std::string& dpiAware);

// The files a launcher's resources came from, for `show`: the .ico of icon group 1001 and the
// .bmp of bitmap 10000, or nullopt when the launcher has no such resource or one that names an
// image it lacks. Reading either file back gives the same resources.
std::optional<std::vector<unsigned char>> iconFile(const ResourceTree& tree);
std::optional<std::vector<unsigned char>> bitmapFile(const ResourceTree& tree);
// The splash image's bytes (RT_RCDATA 10000) and the extension its format goes by.
std::optional<std::pair<std::vector<unsigned char>, std::string>>
splashImageFile(const ResourceTree& tree);
// The manifest's execution level and DPI awareness when the manifest is one kwnbuild writes.
std::optional<std::pair<std::string, std::string>> manifestSettings(const ResourceTree& tree);

} // namespace kwn::build
