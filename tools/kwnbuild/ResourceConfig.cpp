#include "tools/kwnbuild/ResourceConfig.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/TextEncoding.h"

#include <algorithm>
#include <array>
#include <map>

namespace kwn::build {

namespace {
// [resources.version] keys to the version resource's string names, in the order they are stored.
const std::array<std::pair<const char*, const char*>, 7> kVersionStrings = {{
    {"company", "CompanyName"},
    {"description", "FileDescription"},
    {"file-version", "FileVersion"},
    {"copyright", "LegalCopyright"},
    {"original-filename", "OriginalFilename"},
    {"product-name", "ProductName"},
    {"product-version", "ProductVersion"},
}};

std::string where(const std::string& source, const toml::source_region& region,
                  const std::string& what) {
    return (region.begin.line == 0 ? source : source + ":" + std::to_string(region.begin.line)) +
           ": " + what;
}

const toml::table& tableOf(const toml::node& node, const std::string& at) {
    if (!node.is_table())
        throw BuildError(at + ": expected a table");
    return *node.as_table();
}

std::string textOf(const toml::node& node, const std::string& at) {
    if (!node.is_string())
        throw BuildError(at + ": expected a string");
    std::string text = node.as_string()->get();
    checkedCodePoints(text, at);
    return text;
}

VersionInfo readVersion(const toml::node& node, const std::string& source) {
    const toml::table& table = tableOf(node, where(source, node.source(), "[resources.version]"));
    std::map<std::string, std::string> given;
    for (auto&& [key, value] : table) {
        std::string name(key.str());
        std::string at = where(source, key.source(), "[resources.version] " + name);
        auto known = std::find_if(kVersionStrings.begin(), kVersionStrings.end(),
                                  [&](const auto& entry) { return name == entry.first; });
        if (known == kVersionStrings.end())
            throw BuildError(at + ": unknown key; expected file-version, product-version, "
                                  "company, description, product-name, copyright or "
                                  "original-filename");
        given[name] = textOf(value, at);
        if (name.ends_with("-version"))
            parseVersionNumber(given[name], at);
    }
    if (!given.contains("file-version"))
        throw BuildError(where(source, node.source(), "[resources.version]") +
                         ": file-version is required");
    given.try_emplace("product-version", given["file-version"]);
    VersionInfo info{parseVersionNumber(given["file-version"], ""),
                     parseVersionNumber(given["product-version"], ""),
                     {}};
    for (const auto& [key, name] : kVersionStrings) {
        if (given.contains(key))
            info.strings.push_back({name, encodeUtf16(checkedCodePoints(given[key], key))});
    }
    return info;
}

std::string dpiAwareness(const toml::node& node, const std::string& at) {
    if (const toml::value<bool>* flag = node.as_boolean())
        return flag->get() ? "true" : "false";
    if (node.is_string() && node.as_string()->get() == "per-monitor")
        return "per-monitor";
    throw BuildError(at + ": expected true, false or \"per-monitor\"");
}
} // namespace

const char* versionSettingName(std::string_view stringName) {
    for (const auto& [key, name] : kVersionStrings) {
        if (stringName == name)
            return key;
    }
    return nullptr;
}

ResourceSettings readResourceSettings(const toml::node& node, const std::string& source) {
    ResourceSettings settings;
    settings.origin = where(source, node.source(), "[resources]");
    const toml::table& table = tableOf(node, settings.origin);
    for (auto&& [key, value] : table) {
        std::string name(key.str());
        std::string at = where(source, key.source(), "[resources] " + name);
        auto path = [&, &value = value] {
            std::string text = textOf(value, at);
            if (text.empty())
                throw BuildError(at + ": the path is empty");
            return std::filesystem::path(std::u8string(text.begin(), text.end()));
        };
        if (name == "icon")
            settings.icon = path();
        else if (name == "splash-bitmap")
            settings.splashBitmap = path();
        else if (name == "splash-image")
            settings.splashImage = path();
        else if (name == "execution-level") {
            std::string level = textOf(value, at);
            if (std::find(kExecutionLevels.begin(), kExecutionLevels.end(), level) ==
                kExecutionLevels.end())
                throw BuildError(at + ": expected asInvoker, highestAvailable or "
                                      "requireAdministrator");
            settings.executionLevel = level;
        } else if (name == "dpi-aware")
            settings.dpiAware = dpiAwareness(value, at);
        else if (name == "version")
            settings.version = readVersion(value, source);
        else
            throw BuildError(at + ": unknown key; expected icon, splash-bitmap, splash-image, "
                                  "execution-level, dpi-aware or [resources.version]");
    }
    return settings;
}

} // namespace kwn::build
