#pragma once
// Remembers, per Java executable and its last-write time, the version its probe printed, so
// that an unchanged runtime is never run twice. Lives under the current user.
#include "platform/Registry.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kwn::jvm {

// Written for a probe that ended with a non-zero exit code; never accepted, always re-probed.
constexpr const char* kFailedProbeVersion = "1.0.0";

// "SOFTWARE\corvane-systems\qelvo\jvms\" + the path with every "\" written as "/".
std::string probeCacheKey(const std::string& executablePath);

class ProbeCache {
public:
    explicit ProbeCache(platform::Registry& registry) : registry_(registry) {}

    // The cached version when the stored last-write time matches byte for byte.
    std::optional<std::string> read(const std::string& executablePath, std::uint64_t lastWriteTime);
    void write(const std::string& executablePath, std::uint64_t lastWriteTime,
               const std::string& version);

private:
    platform::Registry& registry_;
};

} // namespace kwn::jvm
