#include "windows/VmOptions.h"

#include "diag/ByteText.h"
#include "launcher/CommandLine.h"
#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

#include <algorithm>
#include <array>

namespace kwn::windows {

namespace {
// fgets into a buffer of the usual text capacity keeps one byte for the terminating zero.
constexpr std::size_t kLinePieceLength = config::kTextCapacity - 1;
// Includes nest at most this deep; deeper ones end quietly, like a file that cannot be opened.
constexpr std::size_t kMaxIncludeDepth = 32;
// The open-file check cannot see every alias of a file (short names, links, non-ASCII case), and
// through such an alias a file that includes itself k times would be read about e*k! times.
// A start reads at most this many files in all; further includes end like missing files.
constexpr std::size_t kMaxOptionsFiles = 64;

constexpr std::u16string_view kIncludePrefix = u"-include-options ";

struct Directive {
    std::u16string_view prefix;
    std::optional<std::string> ClassPathOverrides::*target;
};
// Matched in this order; "-classpath " cannot shadow the other two because of its blank.
constexpr std::array<Directive, 3> kDirectives = {{
    {u"-classpath ", &ClassPathOverrides::classPath},
    {u"-classpath/p ", &ClassPathOverrides::prependClassPath},
    {u"-classpath/a ", &ClassPathOverrides::appendClassPath},
}};

const void* address(const std::unique_ptr<platform::TextReader>& stream) {
    return stream.get();
}

// What Windows opens for a path: its full path name (".", ".." resolved, trailing dots and
// blanks dropped), in lower case as file names compare. "run.vmoptions." is "RUN.vmoptions".
std::u16string fileIdentity(platform::Files& files, const std::u16string& path) {
    std::u16string identity = files.fullPathNameW(path).value_or(path);
    for (char16_t& c : identity)
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
    return identity;
}

// The trimmed option text of one piece of a file, or nullopt when the piece holds no option.
// Only blanks are trimmed: a tab is part of the option, as is everything after a "#" that does
// not start the line.
std::optional<std::string> optionText(std::string piece) {
    while (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r'))
        piece.pop_back();
    std::size_t first = piece.find_first_not_of(' ');
    if (first == std::string::npos || piece[first] == '#')
        return std::nullopt;
    std::size_t last = piece.find_last_not_of(' ');
    return piece.substr(first, last - first + 1);
}

// Carries the include chain through the recursion, so that a file that includes itself, directly
// or through others, is not opened again.
class OptionHandler {
public:
    OptionHandler(launcher::LaunchContext& ctx, VmOptionList& options,
                  ClassPathOverrides& overrides)
        : ctx_(ctx), options_(options), overrides_(overrides) {}

    void enter(const std::u16string& path) {
        openFiles_.push_back(fileIdentity(ctx_.os.files, path));
    }

    void handle(const std::u16string& item, const std::optional<std::u16string>& includingFile) {
        if (item.starts_with(kIncludePrefix)) {
            include(item.substr(kIncludePrefix.size()), includingFile);
            return;
        }
        for (const Directive& directive : kDirectives) {
            if (item.starts_with(directive.prefix)) {
                overrides_.*directive.target = narrow(item.substr(directive.prefix.size()));
                return;
            }
        }
        options_.push_back(narrow(item));
    }

    void readFile(platform::TextReader& stream,
                  const std::optional<std::u16string>& includingFile) {
        while (std::optional<std::string> piece = stream.readLine(kLinePieceLength)) {
            std::optional<std::string> text = optionText(std::move(*piece));
            if (!text)
                continue;
            // File bytes are taken as ISO 8859-1, whatever the code page.
            std::u16string item = diag::widenBytes(*text);
            expandVariables(ctx_, item, true);
            handle(item, includingFile);
        }
    }

private:
    std::string narrow(const std::u16string& text) { return ctx_.os.codePage.toNarrow(text).text; }

    void include(const std::u16string& written,
                 const std::optional<std::u16string>& includingFile) {
        std::u16string expanded = written;
        expandVariables(ctx_, expanded, false);
        ctx_.log.logMessage("after exp from %S %S", expanded, written);
        std::u16string path = ctx_.paths.makeAbsoluteW(expanded, false, includingFile);
        std::u16string identity = fileIdentity(ctx_.os.files, path);
        std::unique_ptr<platform::TextReader> stream;
        if (!isOpen(identity) && openFiles_.size() < kMaxIncludeDepth &&
            ctx_.optionsFilesOpened < kMaxOptionsFiles)
            stream = ctx_.os.files.openTextForReading(path);
        ctx_.log.logMessage("adding vmoptions from (%p) <%S> (%S)", address(stream), path,
                            expanded);
        if (stream) {
            ++ctx_.optionsFilesOpened;
            openFiles_.push_back(identity);
            readFile(*stream, path);
            openFiles_.pop_back();
        }
        ctx_.log.logMessage("adding vmoptions 2");
        ctx_.log.logMessage("adding vmoptions 3");
    }

    bool isOpen(const std::u16string& identity) const {
        return std::find(openFiles_.begin(), openFiles_.end(), identity) != openFiles_.end();
    }

    launcher::LaunchContext& ctx_;
    VmOptionList& options_;
    ClassPathOverrides& overrides_;
    std::vector<std::u16string> openFiles_;
};

// The two names beside one spelling of the executable: with ".exe" replaced, then appended.
OpenedOptionsFile openBeside(launcher::LaunchContext& ctx, const std::u16string& executable) {
    std::u16string stem =
        executable.substr(0, executable.size() - std::min<std::size_t>(executable.size(), 4));
    OpenedOptionsFile file;
    file.path = stem + u".vmoptions";
    file.stream = ctx.os.files.openTextForReading(file.path);
    ctx.log.logMessage("vmoptions2: exe %S file: %S, file: %p", executable, file.path,
                       address(file.stream));
    if (file.stream)
        return file;
    file.path = executable + u".vmoptions";
    file.stream = ctx.os.files.openTextForReading(file.path);
    ctx.log.logMessage("vmoptions: opts2: %S, file: %p", file.path, address(file.stream));
    return file;
}
} // namespace

void handleVmOption(launcher::LaunchContext& ctx, const std::u16string& item,
                    const std::optional<std::u16string>& includingFile, VmOptionList& options,
                    ClassPathOverrides& overrides) {
    OptionHandler handler(ctx, options, overrides);
    if (includingFile)
        handler.enter(*includingFile);
    handler.handle(item, includingFile);
}

void readVmOptionsFile(launcher::LaunchContext& ctx, OpenedOptionsFile file,
                       const std::optional<std::u16string>& includingFile, VmOptionList& options,
                       ClassPathOverrides& overrides) {
    if (!file.stream)
        return;
    ++ctx.optionsFilesOpened;
    OptionHandler handler(ctx, options, overrides);
    if (!file.path.empty())
        handler.enter(file.path);
    handler.readFile(*file.stream, includingFile);
    file.stream.reset(); // closed here, as the caller handed it over
}

OpenedOptionsFile openDefaultVmOptionsFile(launcher::LaunchContext& ctx) {
    OpenedOptionsFile file = openBeside(ctx, ctx.paths.getModulePathW());
    if (!file.stream)
        file = openBeside(ctx, ctx.os.process.moduleFileName());
    return file;
}

void addConfiguredVmOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                            ClassPathOverrides& overrides) {
    std::u16string text = ctx.config.getWString(config::key::kVmOptions);
    expandVariables(ctx, text, true);
    std::vector<std::u16string> items;
    launcher::splitCommandLine(text, items);
    ctx.log.logMessage("adding options\n");
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::u16string item = items[i];
        // The splitter parts a directive from its file name; they belong together.
        if (item == kIncludePrefix.substr(0, kIncludePrefix.size() - 1) && i + 1 < items.size())
            item += u" " + items[++i];
        handleVmOption(ctx, item, std::nullopt, options, overrides);
    }
}

void addCommandLineVmOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                             ClassPathOverrides& overrides) {
    if (ctx.config.getInt(config::key::kAcceptJOptions) == 0)
        return;
    for (const std::u16string& argument : ctx.arguments)
        if (argument.starts_with(u"-J"))
            handleVmOption(ctx, argument.substr(2), std::nullopt, options, overrides);
}

} // namespace kwn::windows
