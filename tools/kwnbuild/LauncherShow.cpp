#include "tools/kwnbuild/LauncherShow.h"

#include "jvm/SearchSequence.h"
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/IncludedFileRecords.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/ResourceConfig.h"
#include "tools/kwnbuild/SettingValues.h"
#include "tools/kwnbuild/TextEncoding.h"
#include "tools/kwnbuild/WholeFile.h"

#include <algorithm>
#include <fstream>

namespace kwn::build {

namespace {
[[noreturn]] void fail(const std::string& what) {
    throw BuildError("not a launcher kwnbuild can read back: " + what);
}

// Reads the block the way the launcher does, but refuses what would make it fail.
class BlockReader {
public:
    BlockReader(std::span<const unsigned char> bytes, std::uint64_t at) : bytes_(bytes), at_(at) {}

    std::uint64_t take(std::size_t width) {
        if (at_ + width > bytes_.size())
            fail("the block ends early, at offset " + std::to_string(at_));
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value |= std::uint64_t{bytes_[at_ + i]} << (8 * i);
        at_ += width;
        return value;
    }

    std::size_t count() {
        auto value = static_cast<std::int32_t>(take(4));
        if (value < 0 || static_cast<std::uint64_t>(value) > bytes_.size() - at_)
            fail("a count or length of " + std::to_string(value) + " at offset " +
                 std::to_string(at_ - 4));
        return static_cast<std::size_t>(value);
    }

    Key key() { return static_cast<Key>(take(4)); }

    std::string narrow() {
        std::size_t length = count();
        std::string text(bytes_.begin() + at_, bytes_.begin() + at_ + length);
        at_ += length;
        return text;
    }

    std::u16string wide() {
        std::size_t length = count();
        if (length % 2 != 0)
            fail("a wide text of odd length at offset " + std::to_string(at_ - 4));
        std::u16string text;
        for (std::size_t i = 0; i < length / 2; ++i)
            text.push_back(static_cast<char16_t>(take(2)));
        return text;
    }

    std::map<Key, std::u16string> wideEntries() {
        std::map<Key, std::u16string> entries;
        for (std::size_t n = count(); n > 0; --n) {
            Key k = key();
            entries[k] = wide();
        }
        return entries;
    }

    std::uint64_t at() const { return at_; }

private:
    std::span<const unsigned char> bytes_;
    std::uint64_t at_;
};

std::optional<std::string> utf16ToUtf8(const std::u16string& text) {
    std::u32string codePoints;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        bool high = unit >= 0xD800 && unit < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            codePoints.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
        else if ((unit >= 0xD800 && unit < 0xE000) || unit == 0)
            return std::nullopt;
        else
            codePoints.push_back(unit);
    }
    std::string utf8;
    for (char32_t c : codePoints) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
            continue;
        }
        int continuation = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
        utf8 += static_cast<char>(kLead[continuation] | (c >> (6 * continuation)));
        for (int i = continuation - 1; i >= 0; --i)
            utf8 += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    }
    return utf8;
}

// The worded value text of a stored value, or nullopt when no worded form writes it again.
std::optional<std::string> wordedValue(const Setting& setting, const std::string& stored) {
    for (const std::string& candidate : settingCandidates(setting, stored)) {
        try {
            toml::table parsed = toml::parse("v = " + candidate);
            if (encodeSetting(setting, *parsed.get("v"), "") == stored)
                return candidate;
        } catch (const BuildError&) {
        } catch (const toml::parse_error&) {
        }
    }
    return std::nullopt;
}

std::string narrowString(const std::string& bytes) {
    std::optional<std::string> text = windows1252ToUtf8(bytes);
    return text ? tomlString(*text) : "";
}

std::string wideString(const std::u16string& units) {
    std::optional<std::string> text = utf16ToUtf8(units);
    return text ? tomlString(*text) : "";
}

// "KEY = VALUE", or a comment where no configuration can write the value.
std::string numberedLine(Key key, const std::string& value) {
    if (value.empty())
        return "# key " + std::to_string(key) + " holds text no configuration can write\n";
    return std::to_string(key) + " = " + value + "\n";
}

// The groups as [messages.<locale>] when reading those back gives the same groups in the same
// order: message keys only, names in order from the least specific, each name once.
bool wordedGroups(const std::vector<LocaleGroup>& groups) {
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const LocaleGroup& group = groups[i];
        if (group.name.size() > 8 || !windows1252ToUtf8(group.name))
            return false;
        if (i > 0 &&
            (groups[i - 1].name.size() > group.name.size() ||
             (groups[i - 1].name.size() == group.name.size() && groups[i - 1].name >= group.name)))
            return false;
        for (const auto& [key, value] : group.entries) {
            const Setting* setting = findSetting(key);
            if (!setting || setting->kind != ValueKind::Message || !utf16ToUtf8(value))
                return false;
        }
    }
    return true;
}

void writeGroups(std::string& out, const std::vector<LocaleGroup>& groups) {
    if (wordedGroups(groups)) {
        for (const LocaleGroup& group : groups) {
            out += "\n[messages." + narrowString(group.name) + "]\n";
            for (const auto& [key, value] : group.entries)
                out += std::string(findSetting(key)->name) + " = " + wideString(value) + "\n";
        }
        return;
    }
    for (const LocaleGroup& group : groups) {
        out += "\n[[locale]]\nname = " + narrowString(group.name) + "\n[locale.entries]\n";
        for (const auto& [key, value] : group.entries)
            out += numberedLine(key, wideString(value));
    }
}

std::filesystem::path namePath(const std::string& name) {
    std::string utf8 = windows1252ToUtf8(name).value_or(name);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
} // namespace

DecodedLauncher decodeLauncher(std::span<const unsigned char> launcher) {
    DecodedLauncher decoded;
    BlockReader in(launcher, launcherImageEnd(launcher));
    if (in.take(4) != kBlockMagic)
        fail("no configuration block behind the program image");
    in.take(4);
    in.take(4);
    in.take(8);
    ConfigModel& model = decoded.model;
    for (std::size_t n = in.count(); n > 0; --n) {
        Key key = in.key();
        model.narrow[key] = in.narrow();
    }
    model.wide = in.wideEntries();
    for (std::size_t n = in.count(); n > 0; --n) {
        LocaleGroup group;
        group.name = in.narrow();
        group.entries = in.wideEntries();
        model.localeGroups.push_back(std::move(group));
    }
    auto count = model.narrow.find(config::key::kIncludedFileCount);
    if (count == model.narrow.end())
        return decoded;
    std::vector<std::string> names = jvm::splitList(model.narrow[config::key::kIncludedFileNames]);
    if (count->second != std::to_string(names.size()))
        fail("key 2002 counts " + count->second + " included files, key 2003 names " +
             std::to_string(names.size()));
    std::uint64_t at = in.at();
    for (const std::string& name : names) {
        BlockReader record(launcher, at);
        std::uint64_t size = record.take(kRecordSizeField);
        if (size > launcher.size() - record.at())
            fail("the included file " + name + " runs past the end of the file");
        decoded.files.push_back({name, size, record.at()});
        at = record.at() + size;
    }
    return decoded;
}

std::string configText(const DecodedLauncher& launcher,
                       const std::vector<std::filesystem::path>& extracted) {
    std::map<Key, std::string> narrow = launcher.model.narrow;
    // Written again from the included files.
    narrow.erase(config::key::kIncludedFileCount);
    narrow.erase(config::key::kIncludedFileNames);
    std::string out = "# Read back by kwnbuild show; building it with the same stub gives the same "
                      "launcher.\n";
    for (std::string_view section : settingSections()) {
        std::string lines;
        for (const Setting& setting : settingsTable()) {
            auto value = narrow.find(setting.key);
            if (setting.section != section || value == narrow.end())
                continue;
            std::optional<std::string> worded = wordedValue(setting, value->second);
            bool isDefault =
                setting.kind == ValueKind::Message && value->second == setting.fallback;
            if (worded && !isDefault)
                lines += std::string(setting.name) + " = " + *worded + "\n";
            if (worded || isDefault)
                narrow.erase(value);
        }
        if (!lines.empty())
            out += "\n[" + std::string(section) + "]\n" + lines;
    }
    if (!narrow.empty()) {
        out += "\n[settings] # keys without a name, or values without a worded form\n";
        for (const auto& [key, value] : narrow)
            out += numberedLine(key, narrowString(value));
    }
    if (!launcher.model.wide.empty()) {
        out += "\n[wide]\n";
        for (const auto& [key, value] : launcher.model.wide)
            out += numberedLine(key, wideString(value));
    }
    writeGroups(out, launcher.model.localeGroups);
    for (std::size_t i = 0; i < launcher.files.size(); ++i) {
        const CarriedFile& file = launcher.files[i];
        std::string name = narrowString(file.name);
        std::string size = std::to_string(file.size) + " bytes";
        if (i < extracted.size()) {
            std::u8string source = extracted[i].u8string();
            out += "\n[[file]] # " + size + "\nname = " + name +
                   "\nsource = " + tomlString(std::string(source.begin(), source.end())) + "\n";
        } else {
            out += "\n# included file " + name + ", " + size + " (--extract DIR writes it out)\n";
        }
    }
    return out;
}

std::vector<std::filesystem::path> extractFiles(std::span<const unsigned char> launcher,
                                                const DecodedLauncher& decoded,
                                                const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> written;
    for (const CarriedFile& file : decoded.files) {
        std::filesystem::path target = std::filesystem::absolute(directory / namePath(file.name));
        std::filesystem::create_directories(target.parent_path());
        std::vector<char> content(launcher.begin() + file.offset,
                                  launcher.begin() + file.offset + file.size);
        for (char& byte : content)
            byte = static_cast<char>(byte ^ kContentKey);
        std::ofstream out(target, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush())
            throw BuildError("cannot write '" + target.string() + "'");
        written.push_back(target);
    }
    return written;
}

std::string resourcesText(std::span<const unsigned char> launcher,
                          const std::optional<std::filesystem::path>& directory,
                          const std::vector<std::filesystem::path>& taken) {
    ResourceTree tree = readResources(launcher);
    // Whether the launcher's own resources already hold what the lines set.
    auto holds = [&tree](const std::string& lines) {
        try {
            ResourceTree applied = tree;
            applyResources(applied, parseConfig("[resources]\n" + lines, "show").resources);
            return applied == tree;
        } catch (const BuildError&) {
            return false;
        }
    };
    std::string table, comments;
    auto addFile = [&](const char* setting, const std::string& name,
                       const std::optional<std::vector<unsigned char>>& bytes) {
        if (!bytes)
            return;
        if (!directory) {
            comments += std::string("# ") + setting + ": --extract DIR writes it out\n";
            return;
        }
        std::filesystem::path target =
            std::filesystem::absolute(*directory / "launcher-resources" / name);
        if (std::find(taken.begin(), taken.end(), target) != taken.end())
            throw BuildError("an included file has the name the launcher's " +
                             std::string(setting) + " is written to, '" + target.string() + "'");
        std::filesystem::create_directories(target.parent_path());
        replaceWholeFile(target, *bytes);
        std::u8string path = target.u8string();
        std::string line = setting + (" = " + tomlString(std::string(path.begin(), path.end())));
        if (holds(line + "\n"))
            table += line + "\n";
        else
            std::filesystem::remove(target);
    };
    addFile("icon", "icon.ico", iconFile(tree));
    addFile("splash-bitmap", "splash-bitmap.bmp", bitmapFile(tree));
    if (auto image = splashImageFile(tree))
        addFile("splash-image", "splash-image." + image->second, image->first);
    if (auto manifest = manifestSettings(tree)) {
        std::string lines =
            "execution-level = \"" + manifest->first + "\"\ndpi-aware = " +
            (manifest->second == "per-monitor" ? "\"per-monitor\"" : manifest->second) + "\n";
        if (holds(lines))
            table += lines;
    }
    std::string out = table.empty() ? "" : "\n[resources]\n" + table;
    auto version = std::find_if(tree.begin(), tree.end(), [](const auto& entry) {
        return entry.first.type == resourceNumber(resource_type::kVersion);
    });
    if (version != tree.end()) {
        VersionInfo info = decodeVersionInfo(version->second);
        std::string lines;
        for (const auto& [name, value] : info.strings) {
            const char* key = versionSettingName(name);
            lines += (key ? std::string(key) : name) + " = " + wideString(value) + "\n";
        }
        if (holds("[resources.version]\n" + lines)) {
            out += "\n[resources.version]\n" + lines;
        } else {
            comments += "# Version " + versionText(info.fileVersion) + ", product " +
                        versionText(info.productVersion) + "\n";
            for (const auto& [name, value] : info.strings)
                comments += "#   " + name + ": " + utf16ToUtf8(value).value_or("(not text)") + "\n";
        }
    }
    out += "\n# Resources (type, name, language, bytes):\n";
    for (const auto& [key, data] : tree)
        out += "#   " + resourceTypeName(key.type) + " " + describeResourceId(key.name) + " " +
               std::to_string(key.language) + " " + std::to_string(data.size()) + "\n";
    return out + comments;
}

} // namespace kwn::build
