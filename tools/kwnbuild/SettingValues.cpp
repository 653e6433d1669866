#include "tools/kwnbuild/SettingValues.h"

#include "jvm/SearchSequence.h"
#include "launcher/CommandLine.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/TextEncoding.h"

#include <cstdio>
#include <optional>
#include <sstream>

namespace kwn::build {

namespace {
using K = ValueKind;

// A list entry kind: its word in the configuration and its letter in the launcher's list.
struct EntryKind {
    std::string_view word;
    char letter;
    bool hasValue;
};
constexpr EntryKind kClassPathKinds[] = {{"archive", 'A', true},
                                         {"directory", 'D', true},
                                         {"env", 'E', true},
                                         {"archives-in", 'S', true}};
constexpr EntryKind kSearchKinds[] = {{"bundled", 'B', true},     {"dir", 'A', true},
                                      {"runtime-dir", 'R', true}, {"env", 'E', true},
                                      {"path", 'S', false},       {"registry", 'Y', false}};
constexpr std::string_view kRequired = "required ";
constexpr int kMaxColourPart = 255;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw BuildError(where + ": " + what);
}

std::string typeName(const toml::node& node) {
    std::ostringstream name;
    name << node.type();
    return name.str();
}

std::string text(const toml::node& node, const std::string& where, const char* expected) {
    const toml::value<std::string>* value = node.as_string();
    if (!value)
        fail(where, std::string("expected ") + expected + ", not " + typeName(node));
    return windows1252Text(value->get(), where);
}

std::int64_t integerIn(const toml::node& node, std::int64_t min, std::int64_t max,
                       const std::string& where) {
    const toml::value<std::int64_t>* number = node.as_integer();
    if (!number)
        fail(where, "expected an integer, not " + typeName(node));
    if (number->get() < min || number->get() > max)
        fail(where, std::to_string(number->get()) + " is out of range; allowed are " +
                        std::to_string(min) + " to " + std::to_string(max));
    return number->get();
}

std::string kindWords(std::span<const EntryKind> kinds) {
    std::string words;
    for (const EntryKind& kind : kinds)
        words +=
            (words.empty() ? "" : ", ") + std::string(kind.word) + (kind.hasValue ? ":..." : "");
    return words;
}

// "kind:value" (or a bare kind without value) as the launcher's letter and text.
std::string listEntry(std::string_view entry, std::span<const EntryKind> kinds, const char* what,
                      const std::string& where) {
    std::string_view word = entry.substr(0, entry.find(':'));
    for (const EntryKind& kind : kinds) {
        if (kind.word != word)
            continue;
        bool hasValue = word.size() < entry.size();
        std::string_view value = hasValue ? entry.substr(word.size() + 1) : std::string_view();
        if (kind.hasValue && value.empty())
            fail(where, std::string("bad ") + what + " \"" + std::string(entry) +
                            "\": " + std::string(kind.word) + " needs a value after ':'");
        if (!kind.hasValue && hasValue)
            fail(where, std::string("bad ") + what + " \"" + std::string(entry) +
                            "\": " + std::string(kind.word) + " takes no value");
        if (value.find(';') != std::string_view::npos)
            fail(where, std::string("bad ") + what + " \"" + std::string(entry) +
                            "\": ';' separates the launcher's entries and cannot be part of one");
        return kind.letter + std::string(value);
    }
    fail(where, std::string("bad ") + what + " \"" + std::string(entry) + "\": expected " +
                    kindWords(kinds));
}

// An argument written so that the launcher's splitter gives it back whole: it knows no escape,
// only quotes of either kind that group up to the next one of the same kind.
std::string quoteArgument(const std::string& argument, const std::string& where) {
    bool plain = !argument.empty() && argument.find_first_of(" \"'") == std::string::npos;
    if (plain)
        return argument;
    if (argument.find('"') == std::string::npos)
        return "\"" + argument + "\"";
    if (argument.find('\'') == std::string::npos)
        return "'" + argument + "'";
    fail(where, "the argument " + argument +
                    " holds both kinds of quotes, which the launcher cannot read as one argument");
}

template <class Convert>
std::string joinArray(const toml::node& node, const std::string& where, const char* separator,
                      Convert convert) {
    const toml::array* array = node.as_array();
    if (!array)
        fail(where, "expected an array or a string, not " + typeName(node));
    std::string joined;
    for (std::size_t i = 0; i < array->size(); ++i) {
        std::string item = convert(text((*array)[i], where, "an array of strings"));
        joined += (i == 0 ? "" : separator) + item;
    }
    return joined;
}

std::string colour(const toml::node& node, const std::string& where) {
    std::vector<std::int64_t> parts;
    if (const toml::array* array = node.as_array()) {
        for (const toml::node& part : *array)
            parts.push_back(integerIn(part, 0, kMaxColourPart, where));
    } else if (const toml::value<std::string>* written = node.as_string()) {
        std::string_view rest = written->get();
        while (true) {
            std::string_view field = rest.substr(0, rest.find(','));
            std::int64_t value = 0;
            bool digits = !field.empty() && field.size() <= 3 &&
                          field.find_first_not_of("0123456789") == std::string_view::npos;
            for (char digit : field)
                value = value * 10 + (digit - '0');
            if (!digits || value > kMaxColourPart)
                fail(where, "a colour is three numbers 0 to 255 separated by commas, such as "
                            "\"255,128,0\"");
            parts.push_back(value);
            if (field.size() == rest.size())
                break;
            rest.remove_prefix(field.size() + 1);
        }
    } else {
        fail(where, "expected a colour \"r,g,b\" or [r, g, b], not " + typeName(node));
    }
    if (parts.size() != 3)
        fail(where,
             "a colour has three parts, red, green and blue, not " + std::to_string(parts.size()));
    return std::to_string(parts[0]) + "," + std::to_string(parts[1]) + "," +
           std::to_string(parts[2]);
}

std::string choice(const Setting& setting, const toml::node& node, const std::string& where) {
    std::string word = text(node, where, "a string");
    for (const Choice& option : setting.choices) {
        if (option.word == word)
            return std::string(option.stored);
    }
    fail(where, "\"" + word + "\" is not allowed; expected " + allowedValues(setting));
}

std::string encodeValue(const Setting& setting, const toml::node& node, const std::string& where) {
    switch (setting.kind) {
    case K::Text:
    case K::Message:
        return text(node, where, "a string");
    case K::Flag:
        if (const toml::value<bool>* flag = node.as_boolean())
            return flag->get() ? "1" : "0";
        fail(where, "expected true or false, not " + typeName(node));
    case K::Integer:
        return std::to_string(integerIn(node, setting.min, setting.max, where));
    case K::Colour:
        return colour(node, where);
    case K::Choice:
        return choice(setting, node, where);
    default:
        break;
    }
    // The list kinds also take the launcher's own text, which `show` writes for a list that has
    // no worded form.
    if (node.is_string())
        return text(node, where, "a string");
    switch (setting.kind) {
    case K::CommandLine:
        return joinArray(node, where, " ", [&](const std::string& argument) {
            return quoteArgument(argument, where);
        });
    case K::PathList:
        return joinArray(node, where, ";", [&](const std::string& path) {
            if (path.empty() || path.find(';') != std::string::npos)
                fail(where, "a path in the list is empty or holds ';'");
            return path;
        });
    case K::ClassPath:
        return joinArray(node, where, ";", [&](const std::string& entry) {
            bool required = entry.starts_with(kRequired);
            std::string typed =
                listEntry(std::string_view(entry).substr(required ? kRequired.size() : 0),
                          kClassPathKinds, "class path entry", where);
            return typed.substr(0, 1) + (required ? "1" : "0") + typed.substr(1);
        });
    default:
        return joinArray(node, where, ";", [&](const std::string& entry) {
            return listEntry(entry, kSearchKinds, "search entry", where);
        });
    }
}

std::string wordFor(std::span<const EntryKind> kinds, char letter) {
    for (const EntryKind& kind : kinds) {
        if (kind.letter == letter)
            return std::string(kind.word);
    }
    return "";
}

std::string arrayOf(const std::vector<std::string>& items) {
    std::string array = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        array += (i == 0 ? "" : ", ") + tomlString(items[i]);
    return array + "]";
}

std::optional<std::string> listCandidate(const Setting& setting, const std::string& stored) {
    std::vector<std::string> items;
    if (setting.kind == K::CommandLine) {
        std::vector<std::u16string> pieces;
        launcher::splitCommandLine(std::u16string(stored.begin(), stored.end()), pieces);
        for (const std::u16string& piece : pieces)
            items.emplace_back(piece.begin(), piece.end());
    } else {
        items = jvm::splitList(stored);
    }
    for (std::string& item : items) {
        if (setting.kind == K::ClassPath) {
            if (item.size() < 2)
                return std::nullopt;
            std::string word = wordFor(kClassPathKinds, item[0]);
            item = (item[1] == '1' ? std::string(kRequired) : "") + word + ":" + item.substr(2);
        } else if (setting.kind == K::Search) {
            std::string word = wordFor(kSearchKinds, item[0]);
            item = item.size() > 1 ? word + ":" + item.substr(1) : word;
        }
        std::optional<std::string> decoded = windows1252ToUtf8(item);
        if (!decoded)
            return std::nullopt;
        item = *decoded;
    }
    return arrayOf(items);
}
} // namespace

void checkValueLimit(Key key, std::size_t bytes, const std::string& where) {
    std::size_t limit = valueLimit(key);
    if (bytes > limit)
        fail(where, "the value takes " + std::to_string(bytes) +
                        " bytes; the launcher reads at "
                        "most " +
                        std::to_string(limit) + " of key " + std::to_string(key));
}

std::string encodeSetting(const Setting& setting, const toml::node& value,
                          const std::string& where) {
    std::string stored = encodeValue(setting, value, where);
    checkValueLimit(setting.key, stored.size(), where);
    return stored;
}

std::vector<std::string> settingCandidates(const Setting& setting, std::string_view stored) {
    std::vector<std::string> candidates;
    std::string value(stored);
    switch (setting.kind) {
    case K::Flag:
        candidates.push_back(value == "1" ? "true" : "false");
        break;
    case K::Integer:
        if (!value.empty() && value.find_first_not_of("-0123456789") == std::string::npos)
            candidates.push_back(value);
        break;
    case K::Choice:
        for (const Choice& option : setting.choices) {
            if (option.stored == value)
                candidates.push_back(tomlString(option.word));
        }
        break;
    case K::CommandLine:
    case K::PathList:
    case K::ClassPath:
    case K::Search:
        if (std::optional<std::string> list = listCandidate(setting, value))
            candidates.push_back(*list);
        break;
    default:
        break;
    }
    bool textual =
        setting.kind != K::Flag && setting.kind != K::Integer && setting.kind != K::Choice;
    if (std::optional<std::string> decoded = windows1252ToUtf8(value); decoded && textual)
        candidates.push_back(tomlString(*decoded));
    return candidates;
}

std::string tomlString(std::string_view utf8Text) {
    std::string quoted = "\"";
    for (char c : utf8Text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

} // namespace kwn::build
