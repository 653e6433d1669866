#include "tools/kwnbuild/SettingsTable.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kwn::build {

namespace {
using K = ValueKind;
namespace key = config::key;

constexpr std::int64_t kMaxInt = std::numeric_limits<std::int32_t>::max();
// LOGFONT's face name holds 31 characters and its terminator.
constexpr std::size_t kFaceNameLimit = 31;
// Values the launcher reads into buffers of 2000 units (the fixed arguments, the installation
// directory and the splash lines it hands the runtime's splash).
constexpr std::size_t kShortTextLimit = 1999;
constexpr std::size_t kVmTypeLimit = 199;
constexpr std::int64_t kMaxFontWeight = 1000;

constexpr Choice kLauncherTypes[] = {
    {"console", "0"}, {"windowed", "1"}, {"console-with-message-boxes", "5"}};
constexpr Choice kFlavours[] = {{"kestrowan", "i"}, {"qelvo", "e"}};

constexpr std::string_view kSections[] = {
    "application", "runtime", "vm", "console", "log", "splash", "single-instance", "messages"};

// clang-format off
constexpr Setting kSettings[] = {
    {"application", "name", key::kApplicationName, K::Text, "the application's name; also the title of the native splash window", "none"},
    {"application", "main-class", key::kMainClass, K::Text, "the main class, a dotted Java class name such as \"com.example.Main\"", "none"},
    {"application", "class-path", key::kClassPath, K::ClassPath, "class path entries in order: \"archive:FILE\", \"directory:DIR\", \"env:NAME\" (a variable holding paths), \"archives-in:DIR\" (every .jar and .zip in DIR); \"required \" in front makes a missing entry stop the start with a message", "empty"},
    {"application", "arguments", key::kMainArguments, K::CommandLine, "fixed arguments for the main method, given before those of the command line", "none", 0, 0, {}, kShortTextLimit},
    {"application", "type", key::kLauncherType, K::Choice, "windowed: a GUI application (javaw.exe, errors in message boxes); console: java.exe, errors on standard error; console-with-message-boxes: java.exe, errors in message boxes", "console", 0, 0, kLauncherTypes},
    {"application", "flavour", key::kFlavour, K::Choice, "the Java side the launcher starts: kestrowan (its runtime jar from the installation directory and the first-run hook) or qelvo", "kestrowan captions, no runtime jar", 0, 0, kFlavours},
    {"application", "working-directory", key::kWorkingDirectory, K::Text, "working directory, relative to the launcher's directory; variables are expanded", "left as started"},
    {"application", "installation-directory", key::kInstallationDirectory, K::Text, "installation directory relative to the launcher's directory, usually \".\"; holds .kestrowan\\ with the runtime jar and the runtime location files", "none", 0, 0, {}, kShortTextLimit},
    {"application", "native-library-path", key::kNativeLibraryDirectories, K::PathList, "directories put in front of PATH, relative to the launcher's directory; variables are expanded", "none"},
    {"application", "id", key::kApplicationId, K::Text, "application id: runtimes of earlier installations recorded under this name in the registry are tried", "none"},
    {"application", "entry-flag", key::kEntryFlag, K::Flag, "a flag handed to the Java entry class as its fifth argument", "false"},
    {"runtime", "min-version", key::kMinJavaVersion, K::Text, "lowest accepted Java version, compared part by part, such as \"1.8\" or \"11\"", "any"},
    {"runtime", "max-version", key::kMaxJavaVersion, K::Text, "highest accepted Java version; every version that begins with all its parts is admitted (\"11\" admits \"11.0.2\")", "any"},
    {"runtime", "search", key::kSearchSequence, K::Search, "where to look for a runtime, in order: \"bundled:DIR\" (shipped with the application; retried without a version test when nothing else works), \"dir:DIR\", \"runtime-dir:DIR\" (the same as dir), \"env:NAME\" (a variable holding a runtime home), \"path\" (java.exe on the search path), \"registry\"", "only the location files and the override variables"},
    {"runtime", "allow-pre-release", key::kAllowPreRelease, K::Flag, "accept early-access and beta runtimes from every source, not only from directories", "false"},
    {"runtime", "jdk-required", key::kJdkRequired, K::Flag, "only a JDK will do", "false"},
    {"runtime", "preferred-vm-type", key::kPreferredVmType, K::Text, "the subdirectory of the runtime's bin directory whose jvm.dll is tried first, such as \"server\"", "hotspot, client, server, classic, jrockit", 0, 0, {}, kVmTypeLimit},
    {"runtime", "installed-runtimes-only", key::kOwnRuntimesOnly, K::Flag, "take from the registry only runtimes installed for the application (path containing kwn_jres)", "false"},
    {"vm", "options", key::kVmOptions, K::CommandLine, "VM options, such as [\"-Xmx512m\", \"-Dapp.mode=full\"]; may hold \"-include-options\" and a file, and the -classpath forms", "none"},
    {"vm", "allow-j-arguments", key::kAcceptJOptions, K::Flag, "command-line arguments starting with -J are VM options rather than arguments of main", "false"},
    {"console", "allow-q-and-c", key::kQuietAndConsoleSwitches, K::Flag, "accept the switches -q (errors to standard error) and -c (errors to a console, created when needed)", "false"},
    {"console", "allow-console-switch", key::kConsoleSwitch, K::Flag, "accept the switch -console (attach to or create a console)", "false"},
    {"log", "error-file", key::kErrorLogFile, K::Text, "the error log file, relative to the launcher's directory, or a text starting with $ handed over as it is", "none"},
    {"log", "pass-error-file", key::kPassErrorLog, K::Flag, "hand the error log file to the Java entry class", "false"},
    {"log", "output-file", key::kOutputLogFile, K::Text, "the output log file, resolved like error-file", "none"},
    {"log", "pass-output-file", key::kPassOutputLog, K::Flag, "hand the output log file to the Java entry class", "false"},
    {"splash", "enabled", key::kSplashScreen, K::Flag, "show a splash screen until the application takes over", "false"},
    {"splash", "use-runtime-splash", key::kRuntimeSplash, K::Flag, "show the splash image through the runtime's splashscreen.dll instead of the launcher's own window", "false"},
    {"splash", "runtime-splash-flag", key::kSplashSecondFlag, K::Flag, "the second boolean handed to the runtime's splash configuration", "false"},
    {"splash", "width", key::kSplashWidth, K::Integer, "width of the splash bitmap and window in pixels", "0", 0, kMaxInt},
    {"splash", "height", key::kSplashHeight, K::Integer, "height of the splash bitmap and window in pixels", "0", 0, kMaxInt},
    {"splash", "hide-on-first-window", key::kSplashAutoOff, K::Flag, "hide the splash as soon as the application shows a window of its own", "false"},
    {"splash", "on-top", key::kSplashOnTop, K::Flag, "keep the splash above every other window", "false"},
    {"splash", "line1-x", key::kSplashLine1X, K::Integer, "x of the first (status) line's top-left corner, in window pixels", "0"},
    {"splash", "line1-y", key::kSplashLine1Y, K::Integer, "y of the first line", "0"},
    {"splash", "line1-text", key::kSplashLine1Text, K::Text, "initial text of the first line, the status line the application may replace", "empty", 0, 0, {}, kShortTextLimit},
    {"splash", "line1-font", key::kSplashLine1Font, K::Text, "font face of the first line, such as \"Arial\"", "chosen by Windows", 0, 0, {}, kFaceNameLimit},
    {"splash", "line1-size", key::kSplashLine1Size, K::Integer, "font size of the first line in points", "0", 0, kMaxInt},
    {"splash", "line1-colour", key::kSplashLine1Color, K::Colour, "text colour of the first line", "0,0,0"},
    {"splash", "line1-weight", key::kSplashLine1Weight, K::Integer, "font weight of the first line (400 normal, 700 bold)", "0", 0, kMaxFontWeight},
    {"splash", "line2-x", key::kSplashLine2X, K::Integer, "x of the second line's top-left corner, in window pixels", "0"},
    {"splash", "line2-y", key::kSplashLine2Y, K::Integer, "y of the second line", "0"},
    {"splash", "line2-text", key::kSplashLine2Text, K::Text, "text of the second line", "empty", 0, 0, {}, kShortTextLimit},
    {"splash", "line2-font", key::kSplashLine2Font, K::Text, "font face of the second line", "chosen by Windows", 0, 0, {}, kFaceNameLimit},
    {"splash", "line2-size", key::kSplashLine2Size, K::Integer, "font size of the second line in points", "0", 0, kMaxInt},
    {"splash", "line2-colour", key::kSplashLine2Color, K::Colour, "text colour of the second line", "0,0,0"},
    {"splash", "line2-weight", key::kSplashLine2Weight, K::Integer, "font weight of the second line", "0", 0, kMaxFontWeight},
    {"single-instance", "enabled", key::kSingleInstance, K::Flag, "a later start hands its arguments to the running instance and ends", "false"},
    {"single-instance", "bring-to-front", key::kActivateRunningInstance, K::Flag, "a later start brings the running instance's windows to the front", "false"},
    {"single-instance", "global", key::kGlobalSemaphore, K::Flag, "one instance per machine, across sessions, instead of one per session", "false"},
    {"messages", "caption", key::kMessageCaption, K::Message, "caption of every error message box", "Error"},
    {"messages", "no-runtime-plain", 1001, K::Message, "carried, not shown: the no-runtime message without a width", "No Java runtime could be found on this computer.\nPlease install a Java runtime or set KESTROWAN_JAVA_HOME to the folder of one."},
    {"messages", "env-runtime-plain", 1002, K::Message, "carried, not shown: env-runtime-32 without a width", "The {0} environment variable does not point to a working Java runtime."},
    {"messages", "dir-runtime-plain", 1003, K::Message, "carried, not shown: dir-runtime-32 without a width", "The Java runtime found at {0} is damaged.\nPlease reinstall it or set KESTROWAN_JAVA_HOME to the folder of a working one."},
    {"messages", "path-runtime", 1004, K::Message, "carried, not shown: the runtime on the search path does not work", "The Java runtime found on the search path is damaged."},
    {"messages", "vm-start-failed", key::kMessageVmStartFailed, K::Message, "the VM could not be created or main could not be called", "The Java VM could not be started. The maximum heap size (-Xmx) might be too large, or an antivirus or firewall tool might block it."},
    {"messages", "class-path-entry-missing", key::kMessageClassPathEntryMissing, K::Message, "a required class path entry is missing or empty; {0} is the entry", "File or directory {0} not found or empty."},
    {"messages", "wrong-usage", 1007, K::Message, "carried, not shown", "Wrong parameter usage."},
    {"messages", "variable-undefined", key::kMessageVariableUndefined, K::Message, "a required class path entry names an undefined variable; {0} is its name", "The environment variable {0} has to be defined."},
    {"messages", "internal-error", key::kMessageInternalError, K::Message, "an internal error; {0} is its code", "An internal error occurred (error code: {0})."},
    {"messages", "main-class-not-found", key::kMessageMainClassNotFound, K::Message, "the main class was not found", "The application's main class could not be loaded."},
    {"messages", "main-method-not-found", key::kMessageMainMethodNotFound, K::Message, "the main class has no main method", "The application's main method was not found."},
    {"messages", "error-title", 1012, K::Message, "carried, not shown", "Error"},
    {"messages", "ok", 1013, K::Message, "carried, not shown", "OK"},
    {"messages", "startup-error", 1014, K::Message, "carried, not shown", "An error occurred while starting up {0}:"},
    {"messages", "no-temp-directory", key::kMessageNoTempDirectory, K::Message, "no usable temporary directory could be found or created", "No usable temporary folder could be found or created. Please check the TMP and TEMP variables and your rights on that folder."},
    {"messages", "no-runtime", key::kMessageNoJvm, K::Message, "no usable runtime was found; {0} is the launcher's width, 32 or 64", "No Java runtime could be found on this computer.\nPlease install a {0}-bit Java runtime\nor set KESTROWAN_JAVA_HOME to the folder of one."},
    {"messages", "env-runtime-32", key::kMessageEnvJvmBroken32, K::Message, "the runtime a variable names does not work (32-bit launcher); {0} is the variable", "The {0} environment variable does not\npoint to a working 32-bit Java runtime."},
    {"messages", "env-runtime-64", key::kMessageEnvJvmBroken64, K::Message, "the same for the 64-bit launcher", "The {0} environment variable does not\npoint to a working 64-bit Java runtime."},
    {"messages", "dir-runtime-32", key::kMessageDirJvmBroken32, K::Message, "the runtime found in a directory does not work (32-bit launcher); {0} is the directory", "The Java runtime found at {0} is damaged.\nPlease reinstall it or set KESTROWAN_JAVA_HOME\nto the folder of a working 32-bit Java runtime."},
    {"messages", "dir-runtime-64", key::kMessageDirJvmBroken64, K::Message, "the same for the 64-bit launcher", "The Java runtime found at {0} is damaged.\nPlease reinstall it or set KESTROWAN_JAVA_HOME\nto the folder of a working 64-bit Java runtime."},
};
// clang-format on

constexpr std::string_view kOtherTopLevel[] = {"settings", "wide", "locale", "file", "resources"};

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string kindName(ValueKind kind) {
    switch (kind) {
    case K::Text:
        return "text";
    case K::Flag:
        return "true or false";
    case K::Integer:
        return "integer";
    case K::Colour:
        return "colour \"r,g,b\" or [r, g, b], each 0 to 255";
    case K::Choice:
        return "one of";
    case K::CommandLine:
        return "list of arguments";
    case K::PathList:
        return "list of paths";
    case K::ClassPath:
        return "list of class path entries";
    case K::Search:
        return "list of search entries";
    case K::Message:
        return "message text";
    }
    return "";
}

// A message text on one line, its line breaks as the TOML escapes that write them.
std::string oneLine(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += "\\n";
        else
            result += c;
    }
    return result;
}
} // namespace

std::span<const Setting> settingsTable() {
    return kSettings;
}

std::span<const std::string_view> settingSections() {
    return kSections;
}

const Setting* findSetting(std::string_view section, std::string_view name) {
    for (const Setting& setting : kSettings) {
        if (setting.section == section && setting.name == name)
            return &setting;
    }
    return nullptr;
}

const Setting* findSetting(Key key) {
    for (const Setting& setting : kSettings) {
        if (setting.key == key)
            return &setting;
    }
    return nullptr;
}

std::size_t valueLimit(Key key) {
    const Setting* setting = findSetting(key);
    return setting ? setting->limit : kNarrowLimit;
}

std::optional<std::string> nearestName(std::string_view section, std::string_view name) {
    std::optional<std::string> best;
    std::size_t bestDistance = std::max<std::size_t>(2, name.size() / 3) + 1;
    auto consider = [&](std::string_view candidate, std::string full, std::size_t penalty) {
        std::size_t distance = editDistance(name, candidate) + penalty;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = std::move(full);
        }
    };
    if (section.empty()) {
        for (std::string_view known : kSections)
            consider(known, std::string(known), 0);
        for (std::string_view known : kOtherTopLevel)
            consider(known, std::string(known), 0);
        return best;
    }
    // A name of another table counts as one edit further than a name of the table written.
    for (const Setting& setting : kSettings)
        consider(setting.name, std::string(setting.section) + "." + std::string(setting.name),
                 setting.section == section ? 0 : 1);
    return best;
}

std::string allowedValues(const Setting& setting) {
    std::string text = kindName(setting.kind);
    if (setting.kind == K::Choice) {
        for (std::size_t i = 0; i < setting.choices.size(); ++i)
            text += std::string(i == 0 ? " " : ", ") + "\"" + std::string(setting.choices[i].word) +
                    "\"";
    }
    if (setting.kind == K::Integer &&
        (setting.min != std::numeric_limits<std::int32_t>::min() || setting.max != kMaxInt))
        text += " " + std::to_string(setting.min) + " to " + std::to_string(setting.max);
    if (setting.limit != kNarrowLimit)
        text += ", at most " + std::to_string(setting.limit) + " bytes";
    return text;
}

std::string settingsReference() {
    std::string text;
    for (std::string_view section : kSections) {
        text += "[" + std::string(section) + "]\n";
        for (const Setting& setting : kSettings) {
            if (setting.section != section)
                continue;
            text += "  " + std::string(setting.name) + " (key " + std::to_string(setting.key) +
                    "): " + allowedValues(setting) + "\n      " + std::string(setting.description) +
                    "\n      " + (setting.kind == K::Message ? "default: " : "without it: ") +
                    oneLine(setting.fallback) + "\n";
        }
    }
    return text;
}

std::string settingsReferenceMarkdown() {
    std::string text;
    for (std::string_view section : kSections) {
        text += "\n#### `[" + std::string(section) + "]`\n\n";
        text += section == "messages" ? "| Name | Key | Shown when | Default text |\n"
                                      : "| Name | Key | Value | Without it | Meaning |\n";
        text += section == "messages" ? "|---|---|---|---|\n" : "|---|---|---|---|---|\n";
        for (const Setting& setting : kSettings) {
            if (setting.section != section)
                continue;
            std::string head =
                "| `" + std::string(setting.name) + "` | " + std::to_string(setting.key) + " | ";
            if (section == "messages")
                text += head + std::string(setting.description) + " | " +
                        oneLine(setting.fallback) + " |\n";
            else
                text += head + allowedValues(setting) + " | " + std::string(setting.fallback) +
                        " | " + std::string(setting.description) + " |\n";
        }
    }
    return text;
}

} // namespace kwn::build
