#include "files/TempDirectories.h"

#include "files/FileQueries.h"
#include "launcher/LaunchContext.h"

#include <array>

namespace kwn::files {

namespace {
using launcher::LaunchContext;

constexpr int kTempDirectoryAttempts = 10;
const char kTestDirectoryName[] = "\\qvo_w_testdir";

// The narrow and the Unicode selection differ only in the calls they make and in how they
// print the home directory, so one procedure serves both through these two adapters.
struct NarrowCalls {
    using String = std::string;
    static constexpr const char* kHomeFormat = "No temp dir defined. Using home %s";
    static platform::TempPathResult<String> tempPath(LaunchContext& c) {
        return c.os.files.tempPath();
    }
    static String variable(LaunchContext& c, const char* name) {
        return c.os.environment.get(name).value_or("");
    }
    static std::uint32_t createDirectory(LaunchContext& c, const String& path) {
        return c.os.files.createDirectory(path);
    }
    static std::optional<String> longPath(LaunchContext& c, const String& path) {
        return c.os.files.longPathNameA(path);
    }
    static String windowsDirectory(LaunchContext& c) { return c.os.system.windowsDirectoryA(); }
    static String text(const char* ascii) { return ascii; }
    static bool writable(LaunchContext& c, const String& dir) {
        return isWritableDirectory(c, dir);
    }
};

struct WideCalls {
    using String = std::u16string;
    static constexpr const char* kHomeFormat = "No temp dir defined. Using home %S";
    static platform::TempPathResult<String> tempPath(LaunchContext& c) {
        return c.os.files.tempPathW();
    }
    static String variable(LaunchContext& c, const char* name) {
        return c.os.environment.getW(text(name)).value_or(u"");
    }
    static std::uint32_t createDirectory(LaunchContext& c, const String& path) {
        return c.os.files.createDirectoryW(path);
    }
    static std::optional<String> longPath(LaunchContext& c, const String& path) {
        return c.os.files.longPathName(path);
    }
    static String windowsDirectory(LaunchContext& c) { return c.os.system.windowsDirectory(); }
    static String text(const char* ascii) {
        return String(ascii, ascii + std::char_traits<char>::length(ascii));
    }
    static bool writable(LaunchContext& c, const String& dir) {
        return isWritableDirectoryW(c, dir);
    }
};

// A "?" in the long form marks a character the ANSI code page cannot carry; such a directory
// would break the narrow paths handed to the VM, so the fixed fallbacks are tried instead.
template <class Calls> typename Calls::String systemTempDirectory(LaunchContext& ctx) {
    using String = typename Calls::String;
    platform::TempPathResult<String> reported = Calls::tempPath(ctx);
    ctx.log.logMessage("GetTempPath returned %d (last error %d)", reported.length, reported.error);
    String path = reported.path;
    if (path.empty()) {
        path = Calls::variable(ctx, "HOMEDRIVE") + Calls::variable(ctx, "HOMEPATH");
        ctx.log.logMessage(Calls::kHomeFormat, path);
    } else {
        int made = Calls::createDirectory(ctx, path) == 0 ? 0 : -1;
        ctx.log.logMessage("make dir returned %d", made);
    }
    std::optional<String> longForm = Calls::longPath(ctx, path);
    if (!longForm || longForm->find('?') == String::npos)
        return path;
    const String windows = Calls::windowsDirectory(ctx);
    const std::array<String, 4> candidates = {
        windows + Calls::text("\\temp"), Calls::text("c:\\temp"), Calls::text("c:\\tmp"), windows};
    for (const String& candidate : candidates)
        if (Calls::writable(ctx, candidate))
            return candidate;
    const String root = Calls::text("c:\\"), tmp = Calls::text("c:\\tmp");
    if (Calls::writable(ctx, root)) {
        Calls::createDirectory(ctx, tmp);
        if (Calls::writable(ctx, tmp))
            return tmp;
    }
    ctx.errors.fatalMessageW(config::key::kMessageNoTempDirectory, std::nullopt);
}
} // namespace

std::string getSystemTempDirectory(LaunchContext& ctx) {
    return systemTempDirectory<NarrowCalls>(ctx);
}

std::u16string getSystemTempDirectoryW(LaunchContext& ctx) {
    return systemTempDirectory<WideCalls>(ctx);
}

// A leftover test directory from an earlier run is removed first, so it cannot fail the test.
bool isWritableDirectory(LaunchContext& ctx, const std::string& directory) {
    std::string test = directory + kTestDirectoryName;
    ctx.os.files.removeDirectory(test);
    if (ctx.os.files.createDirectory(test) != 0)
        return false;
    bool exists = fileExists(ctx.os.files, test);
    ctx.os.files.removeDirectory(test);
    return exists;
}

bool isWritableDirectoryW(LaunchContext& ctx, const std::u16string& directory) {
    std::u16string test = directory + WideCalls::text(kTestDirectoryName);
    ctx.os.files.removeDirectoryW(test);
    if (ctx.os.files.createDirectoryW(test) != 0)
        return false;
    bool exists = fileExistsW(ctx.os.files, test);
    ctx.os.files.removeDirectoryW(test);
    return exists;
}

std::string createTempFileName(LaunchContext& ctx) {
    std::string directory = getSystemTempDirectory(ctx);
    ctx.log.logMessage("tempPath is %s", directory);
    std::uint32_t error = 0;
    std::optional<std::string> name = ctx.os.files.tempFileName(directory, "qvo", error);
    if (!name) {
        ctx.log.logMessage("GetTempFileName failed (last error %d)", error);
        ctx.os.system.seedRandom(static_cast<std::uint32_t>(ctx.os.system.timeSeconds()));
        name = directory + "qvo" + std::to_string(ctx.os.system.random());
    }
    ctx.log.logMessage("tempFile is %s", *name);
    return *name;
}

void createLauncherTempDirectory(LaunchContext& ctx) {
    for (int attempt = 0; attempt < kTempDirectoryAttempts; ++attempt) {
        // The time makes the name unique even when the platform hands out a name twice.
        auto seconds = static_cast<std::int32_t>(ctx.os.system.timeSeconds() & 0xFFFFFFFF);
        std::string directory = createTempFileName(ctx) + "_dir" + std::to_string(seconds);
        ctx.log.logMessage("Temp dir3: %s", directory);
        std::uint32_t error = ctx.os.files.createDirectory(directory);
        if (error == 0) {
            ctx.tempDirectory = directory;
            return;
        }
        ctx.log.logMessage("Could not create dir (%d)", error);
    }
    ctx.tempDirectory.clear();
    ctx.errors.fatalMessage(config::key::kMessageInternalError, std::string("7"));
}

} // namespace kwn::files
