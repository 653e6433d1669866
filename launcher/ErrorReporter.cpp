#include "launcher/ErrorReporter.h"

#include "diag/PrintfFormat.h"
#include "launcher/LaunchContext.h"
#include "splash/Splash.h"

namespace kwn::launcher {

namespace {
// A composed message is cut where the original's text buffer ended.
template <class String> String capped(String text) {
    if (text.size() > config::kTextCapacity - 1)
        text.resize(config::kTextCapacity - 1);
    return text;
}
} // namespace

void ErrorReporter::displayText(const std::string& text) {
    splash::hideSplash(ctx_);
    std::string shown = text;
    if (std::optional<std::u16string> logPath = ctx_.log.logFilePath()) {
        std::u16string longPath = ctx_.os.files.longPathName(*logPath).value_or(*logPath);
        shown = diag::formatPrintf("%s\n\nLog: %S", {text, longPath});
    }
    shown = capped(shown);
    std::optional<std::u16string> caption = ctx_.config.localizedText(config::key::kMessageCaption);
    if (ctx_.messageBoxMode && caption) {
        // The box's own A call would widen the text with the same code page.
        ctx_.os.ui.messageBoxW(ctx_.errorOwnerWindow, ctx_.os.codePage.toWide(shown), *caption,
                               platform::MessageBoxStyle::ErrorOk);
    } else if (ctx_.messageBoxMode) {
        ctx_.os.ui.messageBox(ctx_.errorOwnerWindow, shown,
                              ctx_.config.getString(config::key::kMessageCaption),
                              platform::MessageBoxStyle::ErrorOk);
    } else {
        ctx_.os.console.writeError(shown + "\n");
    }
}

void ErrorReporter::displayTextW(const std::u16string& text) {
    splash::hideSplash(ctx_);
    std::u16string shown = text;
    if (std::optional<std::u16string> logPath = ctx_.log.logFilePath()) {
        std::u16string longPath = ctx_.os.files.longPathName(*logPath).value_or(*logPath);
        shown = text + u"\n\nLog: " + longPath;
    }
    shown = capped(shown);
    if (ctx_.messageBoxMode) {
        ctx_.os.ui.messageBoxW(ctx_.errorOwnerWindow, shown,
                               ctx_.config.localizedText(config::key::kMessageCaption)
                                   .value_or(ctx_.config.getWString(config::key::kMessageCaption)),
                               platform::MessageBoxStyle::ErrorOk);
    } else {
        // As the C runtime's "%S" narrows in its default locale: every code unit that came from
        // a configured byte is that byte again, whatever the ANSI code page would make of it.
        ctx_.os.console.writeError(diag::narrowLatin1(shown + u"\n"));
    }
}

void ErrorReporter::displayMessage(config::Key key, const std::optional<std::string>& argument) {
    if (std::optional<std::u16string> localized = ctx_.config.localizedText(key)) {
        std::optional<std::u16string> wideArgument;
        if (argument)
            wideArgument = ctx_.os.codePage.toWide(*argument);
        displayLocalized(substituteArgument(*localized, wideArgument));
    } else {
        displayText(substituteArgument(ctx_.config.getString(key), argument));
    }
}

void ErrorReporter::displayMessageW(config::Key key,
                                    const std::optional<std::u16string>& argument) {
    if (std::optional<std::u16string> localized = ctx_.config.localizedText(key))
        displayLocalized(substituteArgument(*localized, argument));
    else
        displayTextW(substituteArgument(ctx_.config.getWString(key), argument));
}

void ErrorReporter::displayLocalized(const std::u16string& text) {
    // On standard error as the user's code page writes it, as a narrow message's bytes are.
    if (ctx_.messageBoxMode)
        displayTextW(text);
    else
        displayText(ctx_.os.codePage.toNarrow(text).text);
}

void ErrorReporter::fatalText(const std::string& text) {
    displayText(text);
    exitLauncher(1);
}

void ErrorReporter::fatalMessage(config::Key key, const std::optional<std::string>& argument) {
    displayMessage(key, argument);
    exitLauncher(1);
}

void ErrorReporter::fatalMessageW(config::Key key, const std::optional<std::u16string>& argument) {
    displayMessageW(key, argument);
    exitLauncher(1);
}

void ErrorReporter::exitLauncher(int code) {
    if (!ctx_.tempDirectory.empty()) {
        emptyDirectory(ctx_.tempDirectory, true);
        ctx_.os.files.removeDirectory(ctx_.tempDirectory);
    }
    ctx_.os.process.exit(code);
}

void ErrorReporter::emptyDirectory(const std::string& path, bool recurse) {
    if (path.empty() || path.front() == '.')
        return;
    ctx_.log.logMessage("emptying %s", path);
    const std::string prefix = path.back() == '\\' ? path : path + "\\";
    std::optional<std::vector<platform::DirectoryEntry>> entries =
        ctx_.os.files.findFiles(prefix + "*.*");
    if (!entries)
        return;
    for (const platform::DirectoryEntry& entry : *entries) {
        if (entry.name == "." || entry.name == "..")
            continue;
        std::string fullName = prefix + entry.name;
        if (entry.isDirectory) {
            ctx_.log.logMessage("attempting to remove %s (%d)", fullName, recurse ? 1 : 0);
            if (recurse)
                emptyDirectory(fullName, false);
            ctx_.os.files.removeDirectory(fullName);
        } else {
            ctx_.log.logMessage("attempting to delete %s", fullName);
            ctx_.os.files.deleteFile(fullName);
        }
    }
}

void ErrorReporter::setErrorOwnerWindow(void* window) {
    ctx_.errorOwnerWindow = window;
}

} // namespace kwn::launcher
