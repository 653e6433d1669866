#pragma once
// The stub's answer to what the C++ library would otherwise throw: the launcher's internal-error
// path ("Internal Error: " and the library's text, exit code 1). Windows stub only.

namespace kwn::launcher {

struct LaunchContext;

// From here on, library failures are reported through this context's error reporter; before
// it, or while one is being reported, they end the process with exit code 1 at once.
void reportLibraryFailuresTo(LaunchContext& context);

} // namespace kwn::launcher
