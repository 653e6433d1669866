#include "windows/ClassPath.h"

#include "files/FileQueries.h"
#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace kwn::windows {

namespace {
constexpr std::string_view kOptionPrefix = "-Djava.class.path=";
constexpr std::string_view kRuntimeLibrary = ".kestrowan\\kwnruntime.jar;";

bool endsWith(const std::string& text, char c) {
    return !text.empty() && text.back() == c;
}

// Empty pieces vanish, so that ";;" or a trailing ";" never makes an entry.
std::vector<std::string> splitAtSemicolons(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find(';', start), text.size());
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// Archives and directories are added even when missing: a jar may appear later (an update)
// and the VM ignores what it cannot find. Expansion may have produced several paths.
bool addPathEntry(launcher::LaunchContext& ctx, std::string& classPath, const std::string& value) {
    std::string joined = ctx.paths.makeAbsoluteList(value);
    bool exists = files::fileExists(ctx.os.files, joined);
    classPath += joined + ";";
    return exists;
}

// A variable defined but empty adds nothing and so counts as not found: a required entry then
// fails as a missing entry would, not as an undefined variable.
bool addVariableEntry(launcher::LaunchContext& ctx, std::string& classPath, const std::string& name,
                      bool required) {
    std::optional<std::string> value = ctx.os.environment.get(name);
    if (!value && required)
        ctx.errors.fatalMessage(config::key::kMessageVariableUndefined, name);
    if (!value || value->empty())
        return false;
    std::string text = *value;
    // Users quote such variables for the command prompt; the quotes are no part of the path.
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    classPath += text;
    if (!endsWith(text, ';'))
        classPath += ';';
    return true;
}

bool addScannedEntry(launcher::LaunchContext& ctx, std::string& classPath,
                     const std::string& value) {
    std::string directory = ctx.paths.makeAbsolute(value);
    bool exists = addArchivesInDirectory(ctx, classPath, directory, "jar");
    addArchivesInDirectory(ctx, classPath, directory, "zip");
    return exists;
}

// An entry is a type letter, a required flag ("1") and a value. An unknown type is never
// found, so a required one stops the launch like a missing file.
void addConfiguredEntry(launcher::LaunchContext& ctx, std::string& classPath,
                        const std::string& entry) {
    if (entry.size() < 2)
        return;
    bool required = entry[1] == '1';
    std::string value = entry.substr(2);
    expandVariablesNarrow(ctx, value);
    bool found = false;
    switch (entry[0]) {
    case 'A':
    case 'D':
        found = addPathEntry(ctx, classPath, value);
        break;
    case 'E':
        found = addVariableEntry(ctx, classPath, value, required);
        break;
    case 'S':
        found = addScannedEntry(ctx, classPath, value);
        break;
    default:
        break;
    }
    if (required && !found)
        ctx.errors.fatalMessage(config::key::kMessageClassPathEntryMissing, value);
}

// What was extracted, the application's own files first, then those meant for the user folder.
void addExtractedArchives(launcher::LaunchContext& ctx, std::string& classPath,
                          const std::string& directory) {
    addArchivesInDirectory(ctx, classPath, directory, "jar");
    addArchivesInDirectory(ctx, classPath, directory, "zip");
}

// The second flavour's Java side lives in the installation, not in the application's jars.
void addRuntimeLibrary(launcher::LaunchContext& ctx, std::string& classPath) {
    std::string installation =
        ctx.paths.getFullPath(ctx.config.getString(config::key::kInstallationDirectory), true);
    classPath += installation;
    if (!endsWith(classPath, '\\'))
        classPath += '\\';
    classPath += kRuntimeLibrary;
}
} // namespace

bool addArchivesInDirectory(launcher::LaunchContext& ctx, std::string& classPath,
                            const std::string& directory, const std::string& extension) {
    if (!files::fileExists(ctx.os.files, directory))
        return false;
    for (const std::string& name : files::listFiles(ctx.os.files, directory, extension))
        classPath += ctx.paths.makeAbsolute(directory + "\\" + name) + ";";
    return true;
}

void addConfiguredClassPath(launcher::LaunchContext& ctx, std::string& classPath) {
    std::string configured = ctx.config.getString(config::key::kClassPath);
    ctx.log.logMessage("classpath entry %s", configured);
    std::vector<std::string> entries = splitAtSemicolons(configured);
    ctx.log.logMessage("classpath entries %d", static_cast<int>(entries.size()));
    for (const std::string& entry : entries)
        addConfiguredEntry(ctx, classPath, entry);
}

std::string buildClassPath(launcher::LaunchContext& ctx, const ClassPathOverrides& overrides) {
    std::string classPath(kOptionPrefix);
    if (overrides.prependClassPath)
        classPath += *overrides.prependClassPath + ";";
    if (!ctx.tempDirectory.empty()) {
        addExtractedArchives(ctx, classPath, ctx.tempDirectory);
        addExtractedArchives(ctx, classPath, ctx.tempDirectory + "\\user");
    }
    if (ctx.flavour == 'i')
        addRuntimeLibrary(ctx, classPath);
    // A "-classpath" directive stands for the configured entries only.
    if (overrides.classPath)
        classPath += *overrides.classPath;
    else
        addConfiguredClassPath(ctx, classPath);
    if (overrides.appendClassPath) {
        if (!endsWith(classPath, ';'))
            classPath += ';';
        classPath += *overrides.appendClassPath;
    }
    return classPath;
}

} // namespace kwn::windows
