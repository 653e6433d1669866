#include "tools/kwnbuild/BuildConfig.h"

#include "tools/kwnbuild/BuildError.h"
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

std::u32string codePointsOf(std::string_view utf8, const std::string& where) {
    std::optional<std::u32string> codePoints = decodeUtf8(utf8);
    if (!codePoints)
        fail(where, "the text is not valid UTF-8");
    for (char32_t codePoint : *codePoints) {
        if (codePoint == 0)
            fail(where, "the text holds a NUL character, where the launcher would cut it off");
    }
    return *codePoints;
}

// Narrow values reach the launcher byte for byte, so they are stored in the code page it runs in.
std::string narrowText(std::string_view utf8, const std::string& where) {
    std::string bytes;
    for (char32_t codePoint : codePointsOf(utf8, where)) {
        std::optional<unsigned char> byte = windows1252Byte(codePoint);
        if (!byte)
            fail(where, codePointName(codePoint) +
                            " has no Windows-1252 byte; narrow text must be Windows-1252");
        bytes.push_back(static_cast<char>(*byte));
    }
    return bytes;
}

const std::string& requireString(const toml::node& node, const std::string& where) {
    const toml::value<std::string>* text = node.as_string();
    if (!text)
        fail(where, "expected a string, not " + typeName(node));
    return text->get();
}

std::u16string wideValue(const toml::node& node, const std::string& where) {
    return encodeUtf16(codePointsOf(requireString(node, where), where));
}

std::string narrowValue(const toml::node& node, const std::string& where) {
    if (const toml::value<std::string>* text = node.as_string())
        return narrowText(text->get(), where);
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
            group.name = narrowText(requireString(value, where), where);
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
            model.narrow = readEntries<std::string>(node, sourceName, "[settings]", narrowValue);
        else if (name == "wide")
            model.wide = readEntries<std::u16string>(node, sourceName, "[wide]", wideValue);
        else if (name == "locale")
            model.localeGroups = readLocaleGroups(node, sourceName);
        else
            fail(location(sourceName, name.source()),
                 "unknown top-level key '" + std::string(name.str()) +
                     "'; expected [settings], [wide] or [[locale]]");
    }
    return model;
}

ConfigModel loadConfigFile(const std::filesystem::path& path) {
    std::vector<unsigned char> bytes = readWholeFile(path, "configuration file");
    return parseConfig(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       path.string());
}

void applySetting(ConfigModel& model, std::string_view assignment) {
    std::string where = "--set " + std::string(assignment);
    std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos)
        fail(where, "expected KEY=VALUE");
    std::optional<Key> key = parseKey(assignment.substr(0, equals));
    if (!key)
        fail(where, kKeyRule);
    model.narrow[*key] = narrowText(assignment.substr(equals + 1), where);
}

} // namespace kwn::build
