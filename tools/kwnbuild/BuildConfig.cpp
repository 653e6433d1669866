#include "tools/kwnbuild/BuildConfig.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/IncludedFileList.h"
#include "tools/kwnbuild/ResourceConfig.h"
#include "tools/kwnbuild/TextEncoding.h"
#include "tools/kwnbuild/WholeFile.h"

#include <toml++/toml.h>

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

using KeyCheck = void (*)(Key key, const std::string& where);

// `section` names the table in messages, e.g. "[settings]".
template <class Value, class Convert>
std::map<Key, Value> readEntries(const toml::node& node, const std::string& source,
                                 const std::string& section, Convert convert,
                                 KeyCheck checkKey = nullptr) {
    const toml::table& table = requireTable(node, location(source, node.source()) + ": " + section);
    std::map<Key, Value> entries;
    for (auto&& [name, value] : table) {
        std::string where =
            location(source, name.source()) + ": " + section + " " + std::string(name.str());
        std::optional<Key> key = parseKey(name.str());
        if (!key)
            fail(where, kKeyRule);
        if (checkKey)
            checkKey(*key, where);
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
} // namespace

ConfigModel parseConfig(std::string_view text, const std::string& sourceName) {
    toml::table root = parseToml(text, sourceName);
    ConfigModel model;
    for (auto&& [name, node] : root) {
        if (name == "settings")
            model.narrow = readEntries<std::string>(node, sourceName, "[settings]", narrowValue,
                                                    rejectIncludedFileKey);
        else if (name == "wide")
            model.wide = readEntries<std::u16string>(node, sourceName, "[wide]", wideValue);
        else if (name == "locale")
            model.localeGroups = readLocaleGroups(node, sourceName);
        else if (name == "file")
            readIncludedFiles(node, sourceName, model.includedFiles);
        else if (name == "resources")
            model.resources = readResourceSettings(node, sourceName);
        else
            fail(location(sourceName, name.source()),
                 "unknown top-level key '" + std::string(name.str()) +
                     "'; expected [settings], [wide], [[locale]], [[file]] or [resources]");
    }
    return model;
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

void applySetting(ConfigModel& model, std::string_view assignment) {
    std::string where = "--set " + std::string(assignment);
    std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos)
        fail(where, "expected KEY=VALUE");
    std::optional<Key> key = parseKey(assignment.substr(0, equals));
    if (!key)
        fail(where, kKeyRule);
    rejectIncludedFileKey(*key, where);
    model.narrow[*key] = windows1252Text(assignment.substr(equals + 1), where);
}

} // namespace kwn::build
