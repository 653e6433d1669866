// kwnbuild: writes an application's configuration behind a launcher stub.
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/LauncherBuild.h"
#include "tools/kwnbuild/LauncherShow.h"
#include "tools/kwnbuild/RuntimeJar.h"
#include "tools/kwnbuild/SettingsTable.h"
#include "tools/kwnbuild/WholeFile.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

namespace {
const char kProgram[] = "kwnbuild";

// One line per failure, so that scripts can show or match it whole.
int reportError(std::string message) {
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::cerr << kProgram << ": " << message << '\n';
    return 1;
}

struct JarChoice {
    std::string path;
    bool none = false;
};

void defineOptions(CLI::App& app, kwn::build::BuildRequest& request, std::string& config,
                   JarChoice& jar) {
    // Required for a build only, so that the subcommands can go without them.
    app.add_option("--stub", request.stub, "Launcher stub (a bare PE image) to build from");
    app.add_option("--output", request.output, "Launcher file to write (replaced as a whole)");
    app.add_option("--config", config,
                   "TOML configuration: worded tables ([application], [runtime], ...; see "
                   "'kwnbuild keys'), numbered [settings], [wide], [[locale]], and [[file]]");
    // One value per occurrence, so that a stray argument is an error rather than a setting.
    app.add_option("--set", request.settings,
                   "NAME=VALUE: a setting by name (runtime.min-version=1.8) or key number "
                   "(126=1.8), after the file (repeatable; the last wins)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--include", request.includes,
                   "NAME=SOURCE: carry file SOURCE, extracted as NAME into the launcher's temp "
                   "directory (repeatable; after the file's [[file]] entries)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* path =
        app.add_option("--runtime-jar", jar.path,
                       "kwnruntime.jar to put at .kestrowan/kwnruntime.jar beside the output "
                       "(default: dist/lib/kwnruntime.jar beside this tool's dist/bin)");
    app.add_flag("--no-runtime-jar", jar.none,
                 "Place no runtime jar and add none to the class path")
        ->excludes(path);
}

// Progress lines are for a person watching, not for logs and scripts.
bool standardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

struct ShowRequest {
    std::string launcher;
    std::string extract;
};

int show(const ShowRequest& request) {
    std::vector<unsigned char> bytes = kwn::build::readWholeFile(request.launcher, "launcher");
    kwn::build::DecodedLauncher decoded = kwn::build::decodeLauncher(bytes);
    std::vector<std::filesystem::path> extracted;
    std::optional<std::filesystem::path> directory;
    if (!request.extract.empty()) {
        directory = request.extract;
        extracted = kwn::build::extractFiles(bytes, decoded, *directory);
    }
    std::cout << kwn::build::configText(decoded, extracted)
              << kwn::build::resourcesText(bytes, directory, extracted);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    CLI::App app("Writes the configuration block behind a launcher stub and produces the "
                 "application's launcher.",
                 kProgram);
    kwn::build::BuildRequest request;
    std::string config;
    JarChoice jar;
    defineOptions(app, request, config, jar);
    bool markdown = false;
    CLI::App* keys = app.add_subcommand("keys", "Print the settings reference");
    keys->add_flag("--markdown", markdown, "As the Markdown tables of the README");
    ShowRequest showRequest;
    CLI::App* showCommand =
        app.add_subcommand("show", "Print the configuration that rebuilds a built launcher");
    showCommand->add_option("launcher", showRequest.launcher, "The launcher to read")->required();
    showCommand->add_option("--extract", showRequest.extract,
                            "Write the included files, icon and splash pictures under this "
                            "directory; the printed configuration names them");
    app.require_subcommand(0, 1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help is a "parse error" that CLI11 answers itself, with exit code 0.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(error);
        return reportError(error.what());
    }
    try {
        if (keys->parsed()) {
            std::cout << (markdown ? kwn::build::settingsReferenceMarkdown()
                                   : kwn::build::settingsReference());
            return 0;
        }
        if (showCommand->parsed())
            return show(showRequest);
    } catch (const std::exception& error) {
        return reportError(error.what());
    }
    for (const char* option : {"--stub", "--output"}) {
        if (app.count(option) == 0)
            return reportError(std::string(option) + " is required");
    }
    if (app.count("--config") > 0)
        request.config = config;
    if (!jar.none)
        request.runtimeJar = jar.path.empty() ? kwn::build::defaultRuntimeJar(argv[0])
                                              : std::filesystem::path(jar.path);
    if (standardErrorIsTerminal())
        request.progress = &std::cerr;
    try {
        kwn::build::buildLauncher(request);
    } catch (const std::exception& error) {
        return reportError(error.what());
    }
    return 0;
}
