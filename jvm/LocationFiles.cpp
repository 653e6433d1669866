#include "jvm/LocationFiles.h"

#include "config/ConfigKeys.h"
#include "launcher/LaunchContext.h"

namespace kwn::jvm {

namespace {
// One less than the text buffer, which keeps a character for the terminating zero.
constexpr std::size_t kLineCapacity = config::kTextCapacity - 1;

// The installation directory keeps its case: it is only read from, never used as a cache key.
std::u16string locationFilePath(launcher::LaunchContext& ctx, const std::u16string& fileName) {
    std::u16string directory = ctx.config.getWString(config::key::kInstallationDirectory);
    return ctx.paths.getFullPathW(directory, true, false) + u"\\.kestrowan\\" + fileName;
}
} // namespace

std::optional<std::string> readLocationFile(launcher::LaunchContext& ctx,
                                            const std::u16string& fileName) {
    std::optional<std::string> line =
        ctx.os.files.readFirstLine(locationFilePath(ctx, fileName), kLineCapacity);
    if (line && !line->empty() && line->back() == '\n')
        line->pop_back();
    if (!line || line->empty())
        return std::nullopt;
    return line;
}

} // namespace kwn::jvm
