#include "files/LauncherPaths.h"

#include "diag/ByteText.h"

namespace kwn::files {

namespace {
template <class Char> bool isRelative(std::basic_string_view<Char> path) {
    if (path.size() < 3)
        return true;
    if (path[0] == '"') {
        if (path.size() < 4)
            return true;
        path.remove_prefix(1);
    }
    bool drive = path[1] == ':' && path[2] == '\\';
    bool unc = path[0] == '\\' && path[1] == '\\';
    return !(drive || unc);
}

template <class String> String lowerAsciiLetters(String text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<typename String::value_type>(c - 'A' + 'a');
    return text;
}

template <class String> String cutFileName(const String& path) {
    size_t slash = path.rfind('\\');
    return slash == String::npos ? String() : path.substr(0, slash + 1);
}

bool isExecutableName(const std::string& path) {
    return path.size() >= 4 && lowerAsciiLetters(path.substr(path.size() - 4)) == ".exe";
}
} // namespace

bool isRelativePath(std::string_view path) {
    return isRelative(path);
}
bool isRelativePath(std::u16string_view path) {
    return isRelative(path);
}

std::u16string collapseBackslashesW(const std::u16string& path) {
    std::u16string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        bool doubled = i > 1 && path[i] == u'\\' && out.back() == u'\\';
        if (!doubled)
            out.push_back(path[i]);
    }
    return out;
}

std::string LauncherPaths::collapseBackslashes(const std::string& path) {
    platform::NarrowText back =
        os_.codePage.toNarrow(collapseBackslashesW(os_.codePage.toWide(path)));
    return back.usedDefaultCharacter ? path : back.text;
}

// The narrow path must survive the ANSI code page, because it is handed to the VM: the plain
// conversion, else the 8.3 form, else what Windows gives for the narrow module name.
void LauncherPaths::computeModulePaths() {
    std::u16string module = os_.process.moduleFileName();
    modulePathW_ = collapseBackslashesW(os_.files.longPathName(module).value_or(module));
    auto acceptable = [this](const std::u16string& path) -> std::optional<std::string> {
        platform::NarrowText narrow = os_.codePage.toNarrow(path);
        if (narrow.usedDefaultCharacter || !isExecutableName(narrow.text))
            return std::nullopt;
        return narrow.text;
    };
    std::optional<std::string> narrow = acceptable(modulePathW_);
    if (!narrow)
        if (std::optional<std::u16string> shortPath = os_.files.shortPathName(modulePathW_))
            narrow = acceptable(*shortPath);
    if (!narrow) {
        std::string ansi = os_.process.moduleFileNameA();
        narrow = os_.files.shortPathNameA(ansi).value_or(ansi);
    }
    modulePath_ = collapseBackslashes(*narrow);
}

const std::string& LauncherPaths::getModulePath() {
    if (!modulePath_)
        computeModulePaths();
    return *modulePath_;
}

const std::u16string& LauncherPaths::getModulePathW() {
    if (!modulePath_)
        computeModulePaths();
    return modulePathW_;
}

std::string LauncherPaths::directoryOf(const std::string& file) {
    return cutFileName(os_.files.fullPathName(file).value_or(file));
}

std::u16string LauncherPaths::directoryOfW(const std::u16string& file) {
    return cutFileName(os_.files.fullPathNameW(file).value_or(file));
}

const std::string& LauncherPaths::getLauncherDirectory() {
    if (!directory_)
        directory_ = directoryOf(getModulePath());
    return *directory_;
}

const std::u16string& LauncherPaths::getLauncherDirectoryW(bool narrowSafe) {
    if (narrowSafe) {
        if (!directoryNarrowSafeW_)
            directoryNarrowSafeW_ = diag::widenBytes(getLauncherDirectory());
        return *directoryNarrowSafeW_;
    }
    if (!directoryW_)
        directoryW_ = directoryOfW(getModulePathW());
    return *directoryW_;
}

std::string LauncherPaths::makeAbsolute(const std::string& path,
                                        const std::optional<std::string>& baseFile) {
    if (!isRelativePath(path))
        return collapseBackslashes(path);
    std::string base = baseFile ? directoryOf(*baseFile) : getLauncherDirectory();
    return collapseBackslashes(base + path);
}

std::u16string LauncherPaths::makeAbsoluteW(const std::u16string& path, bool narrowSafe,
                                            const std::optional<std::u16string>& baseFile) {
    if (!isRelativePath(path))
        return collapseBackslashesW(path);
    std::u16string base = baseFile ? directoryOfW(*baseFile) : getLauncherDirectoryW(narrowSafe);
    return collapseBackslashesW(base + path);
}

std::string LauncherPaths::getFullPath(const std::string& path, bool keepCase) {
    std::string absolute = makeAbsolute(path);
    std::string full = os_.files.fullPathName(absolute).value_or(absolute);
    if (!keepCase) {
        // Lowered through UTF-16 so that no byte of a multi-byte character is taken for a letter.
        platform::NarrowText lowered =
            os_.codePage.toNarrow(lowerAsciiLetters(os_.codePage.toWide(full)));
        if (!lowered.usedDefaultCharacter)
            full = lowered.text;
    }
    return collapseBackslashes(full);
}

std::u16string LauncherPaths::getFullPathW(const std::u16string& path, bool keepCase,
                                           bool narrowSafe) {
    std::u16string absolute = makeAbsoluteW(path, narrowSafe);
    std::u16string full = os_.files.fullPathNameW(absolute).value_or(absolute);
    return collapseBackslashesW(keepCase ? full : lowerAsciiLetters(full));
}

std::string LauncherPaths::makeAbsoluteList(const std::string& list) {
    std::string joined;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        std::string piece = list.substr(start, end == std::string::npos ? end : end - start);
        if (!piece.empty())
            joined += (joined.empty() ? "" : ";") + makeAbsolute(piece);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return joined;
}

} // namespace kwn::files
