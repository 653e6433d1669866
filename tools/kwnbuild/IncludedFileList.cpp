#include "tools/kwnbuild/IncludedFileList.h"

#include "files/IncludedFileName.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/TextEncoding.h"

#include <algorithm>
#include <string_view>

namespace kwn::build {

namespace {
// What Windows does not allow in a file name, and ";" which separates the names in key 2003.
constexpr std::string_view kForbidden = ";<>:\"|?*";
constexpr std::size_t kMaxLevels = 1;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw BuildError(where + ": " + what);
}

std::string inQuotes(std::string_view text) {
    return "'" + std::string(text) + "'";
}

void checkCharacters(const std::string& name, std::string_view utf8, const std::string& where) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            fail(where, "the name " + inQuotes(utf8) + " holds a control character");
        if (kForbidden.find(c) != std::string_view::npos)
            fail(where, "the name " + inQuotes(utf8) + " holds " + inQuotes(std::string(1, c)) +
                            ", which a file name cannot hold");
    }
}

// Windows drops a trailing dot or space, so the file would get another name than the listed one.
void checkComponentEnds(const std::string& name, std::string_view utf8, const std::string& where) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = std::min(name.find('\\', start), name.size());
        char last = end > start ? name[end - 1] : '\0';
        if (last == '.' || last == ' ')
            fail(where, "the name " + inQuotes(utf8) + " has a part ending in '" + last +
                            "', which Windows drops");
        start = end + 1;
    }
}

// Upper case as Windows compares names of the Windows-1252 code page.
char foldCase(char c) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
        return static_cast<char>(byte - 0x20);
    switch (byte) {
    case 0x9A: // s with caron
    case 0x9C: // oe
    case 0x9E: // z with caron
        return static_cast<char>(byte - 0x10);
    case 0xFF: // y with diaeresis
        return '\x9F';
    default:
        return c;
    }
}

std::string folded(std::string_view name) {
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(), foldCase);
    return result;
}

std::string directoryOf(const std::string& name) {
    size_t backslash = name.find('\\');
    return backslash == std::string::npos ? std::string() : name.substr(0, backslash);
}
} // namespace

std::string includedFileName(std::string_view utf8, const std::string& where) {
    std::string name = windows1252Text(utf8, where);
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.empty())
        fail(where, "the name is empty");
    checkCharacters(name, utf8, where);
    if (std::optional<std::string_view> fault = files::includedNameFault(name))
        fail(where, "the name " + inQuotes(utf8) + " has " + std::string(*fault) +
                        "; names are relative to the launcher's temp directory");
    if (static_cast<std::size_t>(std::count(name.begin(), name.end(), '\\')) > kMaxLevels)
        fail(where, "the name " + inQuotes(utf8) +
                        " has more than one directory level; the launcher creates only one");
    checkComponentEnds(name, utf8, where);
    return name;
}

void addIncludedFile(std::vector<IncludedFile>& files, IncludedFile file) {
    std::string name = folded(file.name);
    std::string directory = folded(directoryOf(file.name));
    for (const IncludedFile& earlier : files) {
        std::string earlierName = folded(earlier.name);
        if (earlierName == name)
            fail(file.origin, "the name is taken already, by " + earlier.origin +
                                  " (Windows ignores the case of names)");
        if (earlierName == directory || folded(directoryOf(earlier.name)) == name)
            fail(file.origin, "the name clashes with " + earlier.origin +
                                  ": one uses as a directory what the other writes as a file");
    }
    files.push_back(std::move(file));
}

IncludedFile parseIncludeOption(std::string_view assignment) {
    std::string where = "--include " + std::string(assignment);
    std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos || equals + 1 == assignment.size())
        fail(where, "expected NAME=SOURCE");
    std::string_view source = assignment.substr(equals + 1);
    return {includedFileName(assignment.substr(0, equals), where),
            std::filesystem::path(std::u8string(source.begin(), source.end())), where};
}

void rejectIncludedFileKey(Key key, const std::string& where) {
    if (key == config::key::kIncludedFileCount || key == config::key::kIncludedFileNames)
        fail(where, "key " + std::to_string(key) +
                        " is written by kwnbuild from the included files ([[file]] and "
                        "--include) and cannot be set");
}

void setIncludedFileKeys(ConfigModel& model) {
    if (model.includedFiles.empty())
        return;
    std::string names;
    for (const IncludedFile& file : model.includedFiles)
        names += (names.empty() ? "" : ";") + file.name;
    // The launcher reads key 2003 into a buffer of this size and would cut the list.
    if (names.size() > config::kTextCapacity - 1)
        throw BuildError("the names of the included files take " + std::to_string(names.size()) +
                         " bytes joined by ';', more than the " +
                         std::to_string(config::kTextCapacity - 1) + " the launcher reads");
    model.narrow[config::key::kIncludedFileCount] = std::to_string(model.includedFiles.size());
    model.narrow[config::key::kIncludedFileNames] = names;
}

} // namespace kwn::build
