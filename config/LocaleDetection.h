#pragma once
// Names the user's locale the way Java does ("de_CH", "pt_BR", "no_NO_NY"), from the Windows
// language identifier, for the configuration's locale groups and the VM's locale options.
#include "diag/NativeLog.h"
#include "platform/System.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kwn::config {

struct LocaleRow {
    std::uint16_t languageId;
    const char* name;
};

// The fixed table, ascending by identifier: 71 bare primary languages, then full identifiers.
std::span<const LocaleRow> localeTable();

class Locale {
public:
    Locale() = default;
    explicit Locale(std::string name);

    const std::string& localeName() const { return name_; }
    // Copy the part into `out` and report whether it is set.
    bool localeLanguage(std::string& out) const;
    bool localeCountry(std::string& out) const;

private:
    std::string name_ = "en";
};

// Runs once while the configuration is read. Without arguments the regional format stays.
Locale detectLocale(const std::vector<std::u16string>* arguments, platform::System& system,
                    diag::NativeLog& log);

// The name for a language identifier: the full identifier, else its primary language, else "en".
std::string localeNameFor(std::uint16_t languageId);

} // namespace kwn::config
