#include "files/LauncherPaths.h"

#include <optional>

namespace kwn::files {

namespace {
template <class String> String collapse(const String& path) {
    String out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        bool doubled = i > 1 && path[i] == '\\' && out.back() == '\\';
        if (!doubled)
            out.push_back(path[i]);
    }
    return out;
}
} // namespace

std::u16string getModulePathW(platform::Platform& os) {
    std::u16string module = os.process.moduleFileName();
    std::optional<std::u16string> longPath = os.files.longPathName(module);
    return collapseBackslashes(longPath ? *longPath : module);
}

std::string collapseBackslashes(const std::string& path) {
    return collapse(path);
}
std::u16string collapseBackslashes(const std::u16string& path) {
    return collapse(path);
}

} // namespace kwn::files
