#include "jvm/JvmSearch.h"

#include "config/ConfigKeys.h"
#include "files/FileQueries.h"
#include "jvm/CandidateChecks.h"
#include "jvm/LocationFiles.h"
#include "jvm/PreviousInstallations.h"
#include "jvm/RegistrySearch.h"
#include "jvm/SearchSequence.h"
#include "jvm/VmLibrary.h"
#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

namespace kwn::jvm {

namespace {
using config::key::kMaxJavaVersion;
using config::key::kMinJavaVersion;
using config::key::kSearchSequence;

// Set by an administrator or a user to name a runtime when everything configured fails.
const char* const kOverrideVariables[] = {"QELVO_JAVA_HOME", "KESTROWAN_JAVA_HOME"};

bool isDirectoryLetter(char letter) {
    return letter == 'A' || letter == 'B' || letter == 'R';
}

class JvmSearcher {
public:
    explicit JvmSearcher(launcher::LaunchContext& ctx)
        : ctx_(ctx), bounds_{ctx.config.getString(kMinJavaVersion),
                             ctx.config.getString(kMaxJavaVersion)} {}

    SearchResult run();

private:
    bool searchSources(const std::vector<SearchEntry>& entries);
    bool accept(LocationType type, const std::string& name, const std::string& executable);
    bool tryCandidate(LocationType type, const std::string& name,
                      const std::optional<std::string>& executable);
    bool tryLocationFile(const std::u16string& file, const char* hasLine, const char* usingLine);
    bool tryEntry(const SearchEntry& entry);
    bool tryFallbackEntry(const SearchEntry& entry);
    bool tryPreviousInstallations();
    std::optional<std::string> registryExecutable();

    launcher::LaunchContext& ctx_;
    VersionBounds bounds_;
    SearchResult result_;
};

SearchResult JvmSearcher::run() {
    ctx_.log.logMessage("Searching for a JVM");
    searchSources(parseSearchSequence(ctx_.config.getString(kSearchSequence)));
    return std::move(result_);
}

// The first source whose runtime loads ends the search; later sources are not consulted.
bool JvmSearcher::searchSources(const std::vector<SearchEntry>& entries) {
    if (tryLocationFile(kPreferredLocationFile, "Has preferred location %s",
                        "Using preferred location"))
        return true;
    for (const SearchEntry& entry : entries)
        if (tryEntry(entry))
            return true;
    if (tryLocationFile(kInstallerLocationFile, "Has installer location %s",
                        "Using installer location"))
        return true;
    for (const SearchEntry& entry : entries)
        if (tryFallbackEntry(entry))
            return true;
    if (tryPreviousInstallations())
        return true;
    ctx_.log.logMessage("Search sequence finished");
    for (const char* variable : kOverrideVariables)
        if (tryCandidate(LocationType::Variable, variable, checkVariable(ctx_, variable, bounds_)))
            return true;
    return false;
}

// Type and name describe the last accepted candidate even when its library does not load,
// so that the message after a failed search names the runtime that was found but broken.
bool JvmSearcher::accept(LocationType type, const std::string& name,
                         const std::string& executable) {
    result_.type = type;
    result_.locationName = name;
    result_.executable = executable;
    result_.library = loadJvmDll(ctx_, executable);
    return result_.library != nullptr;
}

bool JvmSearcher::tryCandidate(LocationType type, const std::string& name,
                               const std::optional<std::string>& executable) {
    return executable && accept(type, name, *executable);
}

bool JvmSearcher::tryLocationFile(const std::u16string& file, const char* hasLine,
                                  const char* usingLine) {
    std::optional<std::string> location = readLocationFile(ctx_, file);
    if (!location)
        return false;
    ctx_.log.logMessage(hasLine, *location);
    std::optional<std::string> executable = checkDirectory(ctx_, *location, bounds_);
    if (!executable)
        return false;
    ctx_.log.logMessage(usingLine);
    return accept(LocationType::Directory, *location, *executable);
}

bool JvmSearcher::tryEntry(const SearchEntry& entry) {
    std::string text = entry.text;
    windows::expandVariablesNarrow(ctx_, text);
    ctx_.log.logMessage("Testing location %s (type %c)", text, entry.letter);
    switch (entry.letter) {
    case 'A':
    case 'B':
    case 'R':
        return tryCandidate(LocationType::Directory, text, checkDirectory(ctx_, text, bounds_));
    case 'E':
        return tryCandidate(LocationType::Variable, text, checkVariable(ctx_, text, bounds_));
    case 'S':
        return tryCandidate(LocationType::SearchPath, entry.text, checkSearchPath(ctx_, bounds_));
    case 'Y':
        return tryCandidate(LocationType::Registry, "", registryExecutable());
    default:
        return false; // a letter of a newer build tool: logged above, nothing to test
    }
}

std::optional<std::string> JvmSearcher::registryExecutable() {
    std::optional<FoundRuntime> runtime = searchRegistry(ctx_, bounds_);
    return runtime ? std::optional<std::string>(runtime->executable) : std::nullopt;
}

// A bundled runtime is taken even when its version is out of bounds: the application ships
// it, so it beats having no runtime. Absolute A and R entries were judged once and stay so.
bool JvmSearcher::tryFallbackEntry(const SearchEntry& entry) {
    bool retried = entry.letter == 'B' ||
                   (isDirectoryLetter(entry.letter) && !isAbsoluteEntryText(entry.text));
    if (!retried)
        return false;
    ctx_.log.logMessage("Testing relative location %s", entry.text);
    std::string executable = deriveFromDirectory(ctx_, entry.text);
    if (!files::fileExists(ctx_.os.files, executable))
        return false;
    ctx_.log.logMessage("%s exists", executable);
    return accept(LocationType::Directory, entry.text, executable);
}

bool JvmSearcher::tryPreviousInstallations() {
    struct Scope {
        platform::RegistryRoot root;
        const char* foundLine;
    };
    static const Scope scopes[] = {
        {platform::RegistryRoot::CurrentUser, "found JRE from previous installation (user) %s"},
        {platform::RegistryRoot::LocalMachine, "found JRE from previous installation (machine) %s"},
    };
    for (const Scope& scope : scopes) {
        std::optional<std::string> executable = findPreviousInstallation(ctx_, scope.root, bounds_);
        if (!executable)
            continue;
        ctx_.log.logMessage(scope.foundLine, *executable);
        if (accept(LocationType::Registry, "", *executable))
            return true;
    }
    return false;
}
} // namespace

SearchResult searchJvm(launcher::LaunchContext& ctx) {
    return JvmSearcher(ctx).run();
}

} // namespace kwn::jvm
