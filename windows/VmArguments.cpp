#include "windows/VmArguments.h"

#include "launcher/LaunchContext.h"
#include "windows/ClassPath.h"

#include <string_view>

namespace kwn::windows {

namespace {
constexpr std::u16string_view kFormatAsDefault = u"-Dsun.locale.formatasdefault=";

std::string property(std::string_view name, const std::string& value) {
    return "-D" + std::string(name) + "=" + value;
}

// PATH is taken whole: it already holds the native library directories in front and the VM
// library's directory at the end, and a cut could drop exactly those.
std::string libraryPathOption(launcher::LaunchContext& ctx) {
    return "-Djava.library.path=" + ctx.os.environment.get("PATH").value_or("");
}

// The last of the arguments wins, as with any repeated option.
const std::u16string* lastFormatAsDefault(const std::vector<std::u16string>& arguments) {
    const std::u16string* last = nullptr;
    for (const std::u16string& argument : arguments)
        if (argument.starts_with(kFormatAsDefault))
            last = &argument;
    return last;
}

void logOptions(launcher::LaunchContext& ctx, const VmOptionList& options) {
    ctx.log.logMessage("vmoption count %d", static_cast<int>(options.size()));
    for (std::size_t i = 0; i < options.size(); ++i)
        ctx.log.logMessage("vmoption %d: %s", static_cast<int>(i), options[i]);
}
} // namespace

VmOptionList buildSystemProperties(launcher::LaunchContext& ctx) {
    VmOptionList options;
    if (ctx.semaphoreName)
        options.push_back(property("qelvo.semaphoreName", *ctx.semaphoreName));
    if (ctx.flavour == 'i')
        options.push_back(property("qelvo.isKestrowan", "true"));
    const std::string& module = ctx.paths.getModulePath();
    options.push_back(property("qelvo.moduleName", module));
    options.push_back(property("sun.java.command", module));
    options.push_back(property("qelvo.tempDir", ctx.tempDirectory));
    // After a restart for another language the extracted files are already in place.
    std::int64_t position = ctx.languageRestart ? -1 : ctx.unextractedPosition;
    options.push_back(property("qelvo.unextractedPosition", std::to_string(position)));
    options.push_back(libraryPathOption(ctx));
    // Shells that define MANPATH (Cygwin and the like) translate the console output themselves.
    if (!ctx.os.environment.getRuntimeVariable("MANPATH"))
        options.push_back(property("qelvo.consoleCodepage",
                                   "cp" + std::to_string(ctx.os.console.outputCodePage())));
    return options;
}

void addLocaleOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                      ClassPathOverrides& overrides) {
    const std::u16string* argument = lastFormatAsDefault(ctx.arguments);
    if (!argument)
        return;
    handleVmOption(ctx, *argument, std::nullopt, options, overrides);
    if (*argument == std::u16string(kFormatAsDefault) + u"true")
        return;
    // The VM would otherwise take the regional format for the display language as well.
    std::string language;
    std::string country;
    if (ctx.locale.localeLanguage(language))
        options.push_back("-Duser.language=" + language);
    if (ctx.locale.localeCountry(country))
        options.push_back("-Duser.country=" + country);
}

VmOptionList buildVmArguments(launcher::LaunchContext& ctx) {
    VmOptionList options = buildSystemProperties(ctx);
    ClassPathOverrides overrides;
    addConfiguredVmOptions(ctx, options, overrides);
    addCommandLineVmOptions(ctx, options, overrides);
    addLocaleOptions(ctx, options, overrides);
    OpenedOptionsFile file = openDefaultVmOptionsFile(ctx);
    ctx.log.logMessage("default vmoptions file: %p", static_cast<const void*>(file.stream.get()));
    readVmOptionsFile(ctx, std::move(file), std::nullopt, options, overrides);
    // The directives of all sources are known only now, so the class path comes last.
    options.push_back(buildClassPath(ctx, overrides));
    logOptions(ctx, options);
    return options;
}

} // namespace kwn::windows
