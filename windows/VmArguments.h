#pragma once
// The complete, ordered list of VM options for one start: the launcher's own system properties,
// the options of the configuration, the command line and the options files, the locale
// options, and the class path option last.
#include "windows/VmOptions.h"

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// The properties through which the Java side learns about the launcher.
VmOptionList buildSystemProperties(launcher::LaunchContext& ctx);

// A "-Dsun.locale.formatasdefault=" argument is passed to the VM; unless it asks for the
// regional format, the detected locale is named to the VM as well.
void addLocaleOptions(launcher::LaunchContext& ctx, VmOptionList& options,
                      ClassPathOverrides& overrides);

// Everything, in the order the VM is to see it.
VmOptionList buildVmArguments(launcher::LaunchContext& ctx);

} // namespace kwn::windows
