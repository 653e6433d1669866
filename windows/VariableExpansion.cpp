#include "windows/VariableExpansion.h"

#include "diag/ByteText.h"
#include "files/TempDirectories.h"
#include "launcher/LaunchContext.h"

#include <array>

namespace kwn::windows {

namespace {
enum class Value { LauncherDirectory, LauncherTempDirectory, Separator, JvmHome, SystemTemp };

struct FixedVariable {
    const char* reference;
    Value value;
};

constexpr std::array<FixedVariable, 21> kFixedVariables{{
    {"%QELVO_EXEDIR%", Value::LauncherDirectory},
    {"%KESTROWAN_EXEDIR%", Value::LauncherDirectory},
    {"%QELVO_TEMPDIR%", Value::LauncherTempDirectory},
    {"%KESTROWAN_TEMPDIR%", Value::LauncherTempDirectory},
    {"%QELVO_PATHLIST_SEPARATOR%", Value::Separator},
    {"%KESTROWAN_PATHLIST_SEPARATOR%", Value::Separator},
    {"%QELVO_JVM_HOME%", Value::JvmHome},
    {"%KESTROWAN_JVM_HOME%", Value::JvmHome},
    {"${QELVO_EXEDIR}", Value::LauncherDirectory},
    {"${KESTROWAN_EXEDIR}", Value::LauncherDirectory},
    {"${QELVO_TEMPDIR}", Value::LauncherTempDirectory},
    {"${KESTROWAN_TEMPDIR}", Value::LauncherTempDirectory},
    {"${QELVO_PATHLIST_SEPARATOR}", Value::Separator},
    {"${KESTROWAN_PATHLIST_SEPARATOR}", Value::Separator},
    {"${QELVO_JVM_HOME}", Value::JvmHome},
    {"${KESTROWAN_JVM_HOME}", Value::JvmHome},
    {"${launcher:sys.launcherDirectory}", Value::LauncherDirectory},
    {"${launcher:sys.launcherTempDirectory}", Value::LauncherTempDirectory},
    {"${launcher:sys.pathlistSeparator}", Value::Separator},
    {"${launcher:sys.jvmHome}", Value::JvmHome},
    {"${launcher:sys.tempDir}", Value::SystemTemp},
}};

// The references are ASCII, so widening byte by byte is exact.
template <class String> String fromAscii(const char* text) {
    String out;
    for (; *text; ++text)
        out.push_back(static_cast<typename String::value_type>(*text));
    return out;
}

template <class String>
const String& valueOf(Value value, const ExpansionValues<String>& values, const String& separator) {
    switch (value) {
    case Value::LauncherDirectory:
        return values.launcherDirectory;
    case Value::LauncherTempDirectory:
        return values.launcherTempDirectory;
    case Value::JvmHome:
        return values.jvmHome;
    case Value::SystemTemp:
        return values.systemTempDirectory;
    default:
        return separator;
    }
}

template <class String> String upperAscii(String text) {
    for (auto& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<typename String::value_type>(c - 'a' + 'A');
    return text;
}

void logSubstitution(diag::NativeLog& log, const std::string& reference, const std::string& value,
                     const std::string& text) {
    log.logMessage("expanding2 %s to %s in %s.", reference, value, text);
}

void logSubstitution(diag::NativeLog& log, const std::u16string& reference,
                     const std::u16string& value, const std::u16string& text) {
    log.logMessage("expanding2 %S to %S in %S.", reference, value, text);
}
} // namespace

template <class String>
void replaceAll(String& text, const String& reference, const String& value, diag::NativeLog& log) {
    if (reference.empty())
        return;
    size_t at = text.find(reference);
    while (at != String::npos) {
        text.replace(at, reference.size(), value);
        logSubstitution(log, reference, value, text);
        at = text.find(reference, at + value.size());
    }
}

template <class String>
void expandText(String& text, const ExpansionValues<String>& values, diag::NativeLog& log) {
    const String separator = fromAscii<String>(";");
    for (const FixedVariable& variable : kFixedVariables)
        replaceAll(text, fromAscii<String>(variable.reference),
                   valueOf(variable.value, values, separator), log);
    const String open = fromAscii<String>("${"), close = fromAscii<String>("}");
    for (const String& entry : values.environment) {
        size_t equals = entry.find('=');
        if (equals == String::npos)
            continue;
        String reference = open + entry.substr(0, equals) + close;
        String value = entry.substr(equals + 1);
        replaceAll(text, reference, value, log);
        // A name already in upper case would otherwise be searched for again, inside the
        // copies of a value that holds its own reference.
        String upper = upperAscii(reference);
        if (upper != reference)
            replaceAll(text, upper, value, log);
    }
}

std::string jvmHomeFor(const std::string& javaExecutablePath) {
    const std::string javaw = "javaw.exe";
    size_t cut =
        javaExecutablePath.ends_with(javaw) ? javaw.size() : std::string("java.exe").size();
    std::string home = javaExecutablePath.substr(0, javaExecutablePath.size() -
                                                        std::min(cut, javaExecutablePath.size()));
    return home + "..";
}

void expandVariables(launcher::LaunchContext& ctx, std::u16string& text, bool narrowSafe) {
    ExpansionValues<std::u16string> values;
    values.launcherDirectory = ctx.paths.getLauncherDirectoryW(narrowSafe);
    values.launcherTempDirectory = diag::widenBytes(ctx.tempDirectory);
    values.jvmHome = diag::widenBytes(ctx.jvmHome);
    values.systemTempDirectory = narrowSafe ? diag::widenBytes(files::getSystemTempDirectory(ctx))
                                            : files::getSystemTempDirectoryW(ctx);
    values.environment = ctx.os.environment.blockW();
    expandText(text, values, ctx.log);
}

void expandVariablesNarrow(launcher::LaunchContext& ctx, std::string& text) {
    ExpansionValues<std::string> values;
    values.launcherDirectory = ctx.paths.getLauncherDirectory();
    values.launcherTempDirectory = ctx.tempDirectory;
    values.jvmHome = ctx.jvmHome;
    values.systemTempDirectory = files::getSystemTempDirectory(ctx);
    values.environment = ctx.os.environment.block();
    expandText(text, values, ctx.log);
}

void setJvmHome(launcher::LaunchContext& ctx, const std::string& javaExecutablePath) {
    ctx.jvmHome = jvmHomeFor(javaExecutablePath);
}

template void replaceAll(std::string&, const std::string&, const std::string&, diag::NativeLog&);
template void replaceAll(std::u16string&, const std::u16string&, const std::u16string&,
                         diag::NativeLog&);
template void expandText(std::string&, const ExpansionValues<std::string>&, diag::NativeLog&);
template void expandText(std::u16string&, const ExpansionValues<std::u16string>&, diag::NativeLog&);

} // namespace kwn::windows
