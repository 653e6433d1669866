#pragma once
// The worded vocabulary of a configuration: one row per launcher key, grouped into the tables a
// user writes ([application], [runtime], ...). The rows are the only source of the names, the
// value checks, the reference `kwnbuild keys` prints and the README's settings reference.
#include "config/ConfigKeys.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kwn::build {

using config::Key;

// What a value is in the TOML file, and how it becomes the launcher's text.
enum class ValueKind {
    Text,        // a string, stored in Windows-1252
    Flag,        // true or false, stored as 1 or 0
    Integer,     // an integer within the row's range
    Colour,      // "r,g,b" or [r, g, b], each 0 to 255
    Choice,      // one of the row's words, each stored as its own text
    CommandLine, // an array of arguments (or one string), split again by the launcher
    PathList,    // an array of paths (or one string), joined by ";"
    ClassPath,   // an array of typed class path entries (or one string)
    Search,      // an array of typed runtime search entries (or one string)
    Message,     // a message text, written with its English default when not given
};

struct Choice {
    std::string_view word;
    std::string_view stored;
};

// The launcher reads every narrow value into a buffer of this many bytes, terminator included.
constexpr std::size_t kNarrowLimit = config::kTextCapacity - 1;

struct Setting {
    std::string_view section; // "application", ..., "messages"
    std::string_view name;
    Key key;
    ValueKind kind;
    std::string_view description;
    // For messages, the text written when the configuration gives none; for other settings,
    // what the launcher does without a value (documentation only, nothing is written).
    std::string_view fallback;
    std::int64_t min = std::numeric_limits<std::int32_t>::min();
    std::int64_t max = std::numeric_limits<std::int32_t>::max();
    std::span<const Choice> choices = {};
    // The most bytes the launcher reads of the value; longer ones would be cut.
    std::size_t limit = kNarrowLimit;
};

std::span<const Setting> settingsTable();

// The sections in the order the reference lists them.
std::span<const std::string_view> settingSections();

const Setting* findSetting(std::string_view section, std::string_view name);
const Setting* findSetting(Key key);

// The launcher's bound for a key, also for keys the table does not name.
std::size_t valueLimit(Key key);

// The known "section.name" closest to what was written, when one is close enough to be a
// likely typo; `section` may be empty for a top-level name.
std::optional<std::string> nearestName(std::string_view section, std::string_view name);

// The allowed values of a row in words, e.g. "integer 0 to 1000".
std::string allowedValues(const Setting& setting);

// The reference, as plain text for a terminal or as the README's Markdown section.
std::string settingsReference();
std::string settingsReferenceMarkdown();

} // namespace kwn::build
