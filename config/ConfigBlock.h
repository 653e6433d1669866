#pragma once
// The configuration tables read from the launcher's own file, and the four getters through
// which every other part of the launcher looks up a setting or a message.
#include "config/ConfigKeys.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kwn::config {

class ConfigBlock {
public:
    // Absent keys read as the empty text; values are cut to capacity - 1 units, as the
    // fixed-size buffers of the callers would.
    std::string getString(Key key, size_t capacity = kTextCapacity) const;
    // The narrow value with each byte widened to one UTF-16 code unit (no code page).
    std::u16string getWString(Key key, size_t capacity = kTextCapacity) const;
    // The leading decimal number as atoi reads it; 0 when there is none.
    std::int32_t getInt(Key key) const;
    // "r,g,b" as red | green << 8 | blue << 16; empty fields are skipped.
    std::uint32_t getColor(Key key) const;
    // File offset right behind the block, where the included files start.
    std::int64_t blockEndPosition() const { return blockEnd_; }

    // Filled by the reader; a later entry for the same key replaces the earlier one.
    void setNarrow(Key key, std::string value) { narrow_[key] = std::move(value); }
    void setWide(Key key, std::u16string value) { wide_[key] = std::move(value); }
    void setBlockEndPosition(std::int64_t position) { blockEnd_ = position; }
    // The wide table is parsed and kept; of it, only what a matching locale group set is read.
    std::optional<std::u16string> wideEntry(Key key) const;
    // The entries of the locale groups that match the user's locale (the last one wins): the
    // messages a configuration gives in the user's language, preferred to the narrow ones.
    void setLocalized(Key key, std::u16string value) { localized_[key] = std::move(value); }
    std::optional<std::u16string> localizedText(Key key) const;
    size_t narrowCount() const { return narrow_.size(); }

private:
    std::map<Key, std::string> narrow_;
    std::map<Key, std::u16string> wide_;
    std::map<Key, std::u16string> localized_;
    std::int64_t blockEnd_ = 0;
};

// atoi over a text: optional white space, optional sign, digits; clamps on overflow.
std::int32_t parseLeadingInt(const std::string& text);

} // namespace kwn::config
