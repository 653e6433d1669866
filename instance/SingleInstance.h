#pragma once
// One launcher file, one running application: every start claims a semaphore named after the
// launcher's path. In single-instance mode a later start finds the name taken, hands its
// arguments to the running instance and ends; otherwise each start takes a numbered name that
// the application can use to tell its instances apart.
#include <cstdint>
#include <string>
#include <string_view>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::instance {

// Where every first instance records its process id, one value per launcher file.
inline constexpr std::string_view kPidKey = "SOFTWARE\\corvane-systems\\qelvo\\pids\\";

// The semaphore name without an instance number: "Local\" or, with the global setting,
// "Global\", then the launcher's full lower-cased path with backslashes and blanks as "_".
std::string semaphoreBaseName(launcher::LaunchContext& ctx);

// What a second start hands over: its command line behind the program name and the blanks
// after it, unchanged. Only blanks separate; a tab is part of the text.
std::u16string commandLineTail(std::u16string_view commandLine);

// The running first instance's process id for this launcher path, 0 when none is recorded or
// the value is not exactly four bytes.
std::uint32_t readInstancePid(launcher::LaunchContext& ctx, const std::string& launcherPath);
void writeInstancePid(launcher::LaunchContext& ctx, const std::string& launcherPath,
                      std::uint32_t processId);

// Claims this start's semaphore. Returns when the start is to go on; a second start in
// single-instance mode notifies the first one and ends the process with code 0.
void checkInstance(launcher::LaunchContext& ctx, bool numberInstances, bool notify);

} // namespace kwn::instance
