#pragma once
// Replaces the launcher's own variables and the environment variables in configured texts.
// References that match nothing stay as they are; expansion never fails and never loops.
#include "diag/NativeLog.h"

#include <string>
#include <vector>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// The values behind the fixed variables for one expansion, in the expander's text form.
template <class String> struct ExpansionValues {
    String launcherDirectory;
    String launcherTempDirectory;
    String jvmHome;
    String systemTempDirectory;
    std::vector<String> environment; // "NAME=value" entries in environment block order
};

// Every occurrence of reference, searching on behind each inserted value so that a value
// holding its own reference is not expanded again. Logs one line per substitution.
template <class String>
void replaceAll(String& text, const String& reference, const String& value, diag::NativeLog& log);

// The 21 fixed variables in their order, then the environment in block order (the reference
// spelled as the block spells the name, then in upper case).
template <class String>
void expandText(String& text, const ExpansionValues<String>& values, diag::NativeLog& log);

// The directory of the chosen Java executable with ".." behind it, not normalised.
std::string jvmHomeFor(const std::string& javaExecutablePath);

// The expanders as the launcher uses them: values are gathered afresh on every call, the
// system temp directory included. narrowSafe takes the launcher and temp directories in forms
// that survive a later conversion to the ANSI code page.
void expandVariables(launcher::LaunchContext& ctx, std::u16string& text, bool narrowSafe);
void expandVariablesNarrow(launcher::LaunchContext& ctx, std::string& text);
void setJvmHome(launcher::LaunchContext& ctx, const std::string& javaExecutablePath);

} // namespace kwn::windows
