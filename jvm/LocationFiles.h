#pragma once
// The two files an installer may leave in the application's installation directory to name
// a runtime directory: one preferred over every configured source, one tried after them.
#include <optional>
#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::jvm {

constexpr const char16_t* kPreferredLocationFile = u"pref_jre.cfg";
constexpr const char16_t* kInstallerLocationFile = u"inst_jre.cfg";

// The first line of "<installation directory>\.kestrowan\<fileName>" without its line end;
// nullopt when the file is missing or its first line is empty.
std::optional<std::string> readLocationFile(launcher::LaunchContext& ctx,
                                            const std::u16string& fileName);

} // namespace kwn::jvm
