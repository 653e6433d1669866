#pragma once
// Where the launcher is, in a Unicode and in a narrow-safe form, and the path rules every part
// of the launcher applies: when a path is absolute, how a relative one is completed, how paths
// are normalised. The module paths and the launcher directory are computed once.
#include "platform/Platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace kwn::files {

class LauncherPaths {
public:
    explicit LauncherPaths(platform::Platform& os) : os_(os) {}

    // The narrow path survives the ANSI code page: converted, else the 8.3 form.
    const std::string& getModulePath();
    const std::u16string& getModulePathW();
    // Each ends with a backslash. The narrow-safe Unicode form is the narrow one widened.
    const std::string& getLauncherDirectory();
    const std::u16string& getLauncherDirectoryW(bool narrowSafe);

    // A relative path gets the base file's directory, or the launcher directory, in front;
    // "." and ".." stay as they are.
    std::string makeAbsolute(const std::string& path,
                             const std::optional<std::string>& baseFile = std::nullopt);
    std::u16string makeAbsoluteW(const std::u16string& path, bool narrowSafe,
                                 const std::optional<std::u16string>& baseFile = std::nullopt);
    // Absolute, "." and ".." resolved, A-Z lowered unless keepCase, backslashes collapsed.
    std::string getFullPath(const std::string& path, bool keepCase);
    std::u16string getFullPathW(const std::u16string& path, bool keepCase, bool narrowSafe);
    // ";"-separated; empty pieces vanish, every other piece is made absolute.
    std::string makeAbsoluteList(const std::string& list);
    // Collapses through UTF-16, so that a multi-byte character is never cut; a text the code
    // page cannot carry back is left unchanged.
    std::string collapseBackslashes(const std::string& path);

private:
    void computeModulePaths();
    std::string directoryOf(const std::string& file);
    std::u16string directoryOfW(const std::u16string& file);

    platform::Platform& os_;
    std::optional<std::string> modulePath_;
    std::u16string modulePathW_;
    std::optional<std::string> directory_;
    std::optional<std::u16string> directoryNarrowSafeW_;
    std::optional<std::u16string> directoryW_;
};

// A path is absolute with a drive and backslash ("C:\") or as a UNC path ("\\"); a leading
// double quote is looked behind. Everything else, "C:x", "\dir" and "/dir" included, is relative.
bool isRelativePath(std::string_view path);
bool isRelativePath(std::u16string_view path);

// Drops every backslash that follows a kept backslash; a leading pair (UNC) survives.
std::u16string collapseBackslashesW(const std::u16string& path);

} // namespace kwn::files
