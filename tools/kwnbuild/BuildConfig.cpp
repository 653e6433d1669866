#include "tools/kwnbuild/BuildConfig.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/IncludedFileList.h"
#include "tools/kwnbuild/ResourceConfig.h"
#include "tools/kwnbuild/SettingValues.h"
#include "tools/kwnbuild/TextEncoding.h"
#include "tools/kwnbuild/TomlPrecheck.h"
#include "tools/kwnbuild/WholeFile.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>

namespace kwn::build {

namespace {
// One spelling per key, so that two spellings of a number cannot silently replace each other.
const char kKeyRule[] = "a key must be a decimal integer without '+' or leading zeros that fits a "
                        "signed 32-bit int";
constexpr std::size_t kMaxKeyDigits = 10;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw BuildError(where + ": " + what);
}

std::string location(const std::string& source, const toml::source_region& region) {
    if (region.begin.line == 0)
        return source;
    return source + ":" + std::to_string(region.begin.line);
}

std::string typeName(const toml::node& node) {
    std::ostringstream name;
    name << node.type();
    return name.str();
}

bool fitsInt(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

std::optional<Key> parseKey(std::string_view text) {
    bool negative = text.starts_with('-');
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > kMaxKeyDigits || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    std::int64_t value = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        value = value * 10 + (digit - '0');
    }
    if (negative && value == 0)
        return std::nullopt;
    value = negative ? -value : value;
    return fitsInt(value) ? std::optional<Key>(static_cast<Key>(value)) : std::nullopt;
}

const std::string& requireString(const toml::node& node, const std::string& where) {
    const toml::value<std::string>* text = node.as_string();
    if (!text)
        fail(where, "expected a string, not " + typeName(node));
    return text->get();
}

std::u16string wideValue(const toml::node& node, const std::string& where) {
    return encodeUtf16(checkedCodePoints(requireString(node, where), where));
}

// Narrow values reach the launcher byte for byte, so they are stored in the code page it runs in.
std::string narrowValue(const toml::node& node, const std::string& where) {
    if (const toml::value<std::string>* text = node.as_string())
        return windows1252Text(text->get(), where);
    if (const toml::value<bool>* flag = node.as_boolean())
        return flag->get() ? "1" : "0";
    if (const toml::value<std::int64_t>* number = node.as_integer()) {
        if (!fitsInt(number->get()))
            fail(where, "the integer does not fit the launcher's 32-bit integers; quote it to "
                        "store it as text");
        return std::to_string(number->get());
    }
    fail(where, "expected a string, integer or boolean, not " + typeName(node));
}

const toml::table& requireTable(const toml::node& node, const std::string& where) {
    const toml::table* table = node.as_table();
    if (!table)
        fail(where, "expected a table, not " + typeName(node));
    return *table;
}

// `section` names the table in messages, e.g. "[settings]".
template <class Value, class Convert>
std::map<Key, Value> readEntries(const toml::node& node, const std::string& source,
                                 const std::string& section, Convert convert) {
    const toml::table& table = requireTable(node, location(source, node.source()) + ": " + section);
    std::map<Key, Value> entries;
    for (auto&& [name, value] : table) {
        std::string where =
            location(source, name.source()) + ": " + section + " " + std::string(name.str());
        std::optional<Key> key = parseKey(name.str());
        if (!key)
            fail(where, kKeyRule);
        entries[*key] = convert(value, where);
    }
    return entries;
}

LocaleGroup readLocaleGroup(const toml::node& node, const std::string& source, std::size_t number) {
    std::string section = "[[locale]] #" + std::to_string(number);
    const toml::table& table = requireTable(node, location(source, node.source()) + ": " + section);
    LocaleGroup group;
    bool named = false;
    for (auto&& [name, value] : table) {
        std::string where =
            location(source, name.source()) + ": " + section + " " + std::string(name.str());
        if (name == "name") {
            group.name = windows1252Text(requireString(value, where), where);
            named = true;
        } else if (name == "entries") {
            group.entries =
                readEntries<std::u16string>(value, source, section + " entries", wideValue);
        } else {
            fail(where, "unknown key; a locale group holds 'name' and 'entries'");
        }
    }
    if (!named)
        fail(location(source, node.source()) + ": " + section, "the group has no 'name'");
    return group;
}

std::vector<LocaleGroup> readLocaleGroups(const toml::node& node, const std::string& source) {
    const toml::array* groups = node.as_array();
    if (!groups)
        fail(location(source, node.source()),
             "'locale' must be an array of tables, written as [[locale]] sections");
    std::vector<LocaleGroup> result;
    for (const toml::node& element : *groups)
        result.push_back(readLocaleGroup(element, source, result.size() + 1));
    return result;
}

std::filesystem::path sourcePath(std::string_view utf8, const std::string& where) {
    if (utf8.empty())
        fail(where, "the source is empty");
    checkedCodePoints(utf8, where);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

IncludedFile readIncludedFile(const toml::node& node, const std::string& source,
                              std::size_t number) {
    std::string section = "[[file]] #" + std::to_string(number);
    std::string origin = location(source, node.source()) + ": " + section;
    const toml::table& table = requireTable(node, origin);
    std::optional<std::string> name;
    std::optional<std::filesystem::path> path;
    for (auto&& [key, value] : table) {
        std::string where =
            location(source, key.source()) + ": " + section + " " + std::string(key.str());
        if (key == "name")
            name = includedFileName(requireString(value, where), where);
        else if (key == "source")
            path = sourcePath(requireString(value, where), where);
        else
            fail(where, "unknown key; an included file holds 'name' and 'source'");
    }
    if (!name)
        fail(origin, "the entry has no 'name'");
    if (!path)
        fail(origin, "the entry has no 'source'");
    return {*name, *path, origin};
}

void readIncludedFiles(const toml::node& node, const std::string& source,
                       std::vector<IncludedFile>& files) {
    const toml::array* entries = node.as_array();
    if (!entries)
        fail(location(source, node.source()),
             "'file' must be an array of tables, written as [[file]] sections");
    for (const toml::node& element : *entries)
        addIncludedFile(files, readIncludedFile(element, source, files.size() + 1));
}

toml::table parseToml(std::string_view text, const std::string& sourceName) {
    try {
        return toml::parse(text, sourceName);
    } catch (const toml::parse_error& error) {
        const toml::source_position& at = error.source().begin;
        throw BuildError(sourceName + ":" + std::to_string(at.line) + ":" +
                         std::to_string(at.column) + ": " + std::string(error.description()));
    }
}

std::string suggestion(std::string_view section, std::string_view name) {
    std::optional<std::string> nearest = nearestName(section, name);
    return nearest ? "; did you mean '" + *nearest + "'?" : "";
}

// Locale groups of [messages.<locale>] apply from the least to the most specific name, so that
// "de_AT" overrides "de" whatever order the file lists them in.
bool lessSpecific(const LocaleGroup& a, const LocaleGroup& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
}

// Names longer than this never match: the launcher's locale names are at most 8 characters.
constexpr std::size_t kLocaleNameLimit = 8;

// One configuration text into the model: the numbered tables, the worded ones, and where each
// narrow key was set, so that a key given twice is named with both places.
class ConfigReader {
public:
    explicit ConfigReader(const std::string& source) : source_(source) {}

    void readTopLevel(const std::string& name, const toml::source_region& region,
                      const toml::node& node) {
        if (name == "settings")
            readNumbered(node);
        else if (name == "wide")
            model_.wide = readEntries<std::u16string>(node, source_, "[wide]", wideValue);
        else if (name == "locale")
            model_.localeGroups = readLocaleGroups(node, source_);
        else if (name == "file")
            readIncludedFiles(node, source_, model_.includedFiles);
        else if (name == "resources")
            model_.resources = readResourceSettings(node, source_);
        else if (name == "messages")
            readMessages(node);
        else if (std::ranges::find(settingSections(), name) != settingSections().end())
            readWorded(name, node);
        else
            fail(location(source_, region), "unknown table '" + name + "'" + suggestion("", name));
    }

    ConfigModel finish() {
        std::ranges::stable_sort(wordedGroups_, lessSpecific);
        for (LocaleGroup& group : wordedGroups_)
            model_.localeGroups.push_back(std::move(group));
        return std::move(model_);
    }

private:
    void setNarrow(Key key, std::string value, const std::string& where) {
        checkValueLimit(key, value.size(), where);
        auto [earlier, added] = origins_.emplace(key, where);
        if (!added)
            fail(where,
                 "key " + std::to_string(key) + " is given twice, also at " + earlier->second);
        model_.narrow[key] = std::move(value);
    }

    void readNumbered(const toml::node& node) {
        const toml::table& table =
            requireTable(node, location(source_, node.source()) + ": [settings]");
        for (auto&& [name, value] : table) {
            std::string where =
                location(source_, name.source()) + ": [settings] " + std::string(name.str());
            std::optional<Key> key = parseKey(name.str());
            if (!key)
                fail(where, kKeyRule);
            rejectIncludedFileKey(*key, where);
            setNarrow(*key, narrowValue(value, where), where);
        }
    }

    std::string wordedWhere(const toml::key& name, std::string_view section) const {
        return location(source_, name.source()) + ": " + std::string(section) + "." +
               std::string(name.str());
    }

    // `table` names where the setting was written, such as "messages.de".
    const Setting& requireSetting(std::string_view section, const toml::key& name,
                                  std::string_view table) const {
        const Setting* setting = findSetting(section, name.str());
        if (!setting)
            fail(wordedWhere(name, table), "unknown setting" + suggestion(section, name.str()));
        return *setting;
    }

    void readWorded(const std::string& section, const toml::node& node) {
        const toml::table& table =
            requireTable(node, location(source_, node.source()) + ": [" + section + "]");
        for (auto&& [name, value] : table) {
            const Setting& setting = requireSetting(section, name, section);
            std::string where = wordedWhere(name, section);
            setNarrow(setting.key, encodeSetting(setting, value, where), where);
        }
    }

    void readMessages(const toml::node& node) {
        const toml::table& table =
            requireTable(node, location(source_, node.source()) + ": [messages]");
        for (auto&& [name, value] : table) {
            if (value.is_table()) {
                readLocaleMessages(name, *value.as_table());
                continue;
            }
            const Setting& setting = requireSetting("messages", name, "messages");
            std::string where = wordedWhere(name, "messages");
            setNarrow(setting.key, encodeSetting(setting, value, where), where);
        }
    }

    void readLocaleMessages(const toml::key& locale, const toml::table& table) {
        std::string section = "messages." + std::string(locale.str());
        std::string where = location(source_, locale.source()) + ": [" + section + "]";
        LocaleGroup group{windows1252Text(locale.str(), where), {}};
        if (group.name.size() > kLocaleNameLimit)
            fail(where, "a locale name has at most " + std::to_string(kLocaleNameLimit) +
                            " characters, such as \"de\" or \"de_AT\"; a longer one never matches");
        for (auto&& [name, value] : table) {
            const Setting& setting = requireSetting("messages", name, section);
            group.entries[setting.key] = wideValue(value, wordedWhere(name, section));
        }
        wordedGroups_.push_back(std::move(group));
    }

    const std::string& source_;
    ConfigModel model_;
    std::map<Key, std::string> origins_;
    std::vector<LocaleGroup> wordedGroups_;
};
} // namespace

ConfigModel parseConfig(std::string_view text, const std::string& sourceName) {
    toml::table root = parseToml(asciiToml(text, sourceName), sourceName);
    ConfigReader reader(sourceName);
    for (auto&& [name, node] : root)
        reader.readTopLevel(std::string(name.str()), name.source(), node);
    return reader.finish();
}

ConfigModel loadConfigFile(const std::filesystem::path& path) {
    std::vector<unsigned char> bytes = readWholeFile(path, "configuration file");
    ConfigModel model = parseConfig(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path.string());
    // Sources are written relative to the file that names them, so a project can move as a whole.
    for (IncludedFile& file : model.includedFiles)
        file.source = path.parent_path() / file.source;
    return model;
}

namespace {
// A worded value from the command line: true, 5 or [1, 2, 3] as TOML reads them where the setting
// takes such a value, anything else (and every text setting's value) as the text itself, so that
// `--set runtime.min-version=1.8` needs no quotes.
std::string encodeWordedSetting(const Setting& setting, std::string_view text,
                                const std::string& where) {
    bool textOnly = setting.kind == ValueKind::Text || setting.kind == ValueKind::Message ||
                    setting.kind == ValueKind::Choice;
    std::optional<toml::table> parsed;
    try {
        if (!textOnly)
            parsed = toml::parse(asciiToml("v = " + std::string(text), where));
    } catch (const toml::parse_error&) {
    } catch (const BuildError&) { // not ASCII outside a string: no TOML value either
    }
    if (parsed && parsed->size() == 1)
        return encodeSetting(setting, *parsed->get("v"), where);
    return encodeSetting(setting, toml::value<std::string>(std::string(text)), where);
}
} // namespace

void applySetting(ConfigModel& model, std::string_view assignment) {
    std::string where = "--set " + std::string(assignment);
    std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos)
        fail(where, "expected KEY=VALUE or SECTION.NAME=VALUE");
    std::string_view name = assignment.substr(0, equals);
    std::optional<Key> key = parseKey(name);
    std::size_t dot = name.rfind('.');
    if (!key && dot != std::string_view::npos) {
        std::string_view section = name.substr(0, dot), word = name.substr(dot + 1);
        const Setting* setting = findSetting(section, word);
        if (!setting)
            fail(where, "unknown setting" + suggestion(section, word));
        model.narrow[setting->key] =
            encodeWordedSetting(*setting, assignment.substr(equals + 1), where);
        return;
    }
    if (!key)
        fail(where, kKeyRule);
    rejectIncludedFileKey(*key, where);
    std::string value = windows1252Text(assignment.substr(equals + 1), where);
    checkValueLimit(*key, value.size(), where);
    model.narrow[*key] = std::move(value);
}

void addDefaultMessages(ConfigModel& model) {
    for (const Setting& setting : settingsTable()) {
        if (setting.kind == ValueKind::Message)
            model.narrow.try_emplace(setting.key, setting.fallback);
    }
}

} // namespace kwn::build
