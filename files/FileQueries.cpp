#include "files/FileQueries.h"

#include <array>
#include <string_view>

namespace kwn::files {

namespace {
// A drive root exists whatever the disk says; FindFirstFile would not find it.
template <class String> bool isDriveRoot(const String& path) {
    if (path.size() < 2)
        return false;
    static constexpr std::array<std::string_view, 3> kRootForms = {":\\", ":\\.", ":\\.\\."};
    for (std::string_view form : kRootForms)
        if (path.size() - 1 == form.size() &&
            std::equal(form.begin(), form.end(), path.begin() + 1))
            return true;
    return false;
}
} // namespace

bool fileExists(platform::Files& files, const std::string& path, std::uint64_t* lastWriteTime) {
    if (isDriveRoot(path))
        return true;
    std::optional<platform::DirectoryEntry> entry = files.findFirst(path);
    if (!entry)
        return false;
    if (lastWriteTime)
        *lastWriteTime = entry->lastWriteTime;
    return true;
}

bool fileExistsW(platform::Files& files, const std::u16string& path) {
    return isDriveRoot(path) || files.findFirstW(path);
}

std::vector<std::string> listFiles(platform::Files& files, const std::string& directory,
                                   const std::string& extension) {
    std::string pattern = directory + "\\*" + (extension.starts_with('.') ? "" : ".") + extension;
    std::vector<std::string> names;
    for (const platform::DirectoryEntry& entry :
         files.findFiles(pattern).value_or(std::vector<platform::DirectoryEntry>{}))
        names.push_back(entry.name);
    return names;
}

} // namespace kwn::files
