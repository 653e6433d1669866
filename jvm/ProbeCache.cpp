#include "jvm/ProbeCache.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace kwn::jvm {

namespace {
using platform::RegistryRoot;

constexpr const char* kCacheRoot = "SOFTWARE\\corvane-systems\\qelvo\\jvms\\";
constexpr const char* kLastWriteTimeValue = "LastWriteTime";
constexpr const char* kVersionValue = "Version";
constexpr std::uint32_t kFileTimeBytes = 8;
constexpr std::uint32_t kVersionCapacity = 6000;

// A FILETIME as it lies in memory on Windows: low byte first.
std::vector<unsigned char> fileTimeBytes(std::uint64_t fileTime) {
    std::vector<unsigned char> bytes(kFileTimeBytes);
    for (std::uint32_t i = 0; i < kFileTimeBytes; ++i)
        bytes[i] = static_cast<unsigned char>(fileTime >> (8 * i));
    return bytes;
}

// Readers of the value stop at the first zero, whether or not the writer stored one.
std::string textUpToZero(const std::vector<unsigned char>& data) {
    auto end = std::find(data.begin(), data.end(), '\0');
    return std::string(data.begin(), end);
}

// A bare family prefix is not what a probe prints for a real runtime; such an entry is
// distrusted, so that the runtime is probed again.
bool isTruncatedVersion(const std::string& version) {
    static constexpr std::array<std::string_view, 3> kTruncated = {"1.7.", "1.6.", "1.5."};
    return std::find(kTruncated.begin(), kTruncated.end(), version) != kTruncated.end();
}
} // namespace

std::string probeCacheKey(const std::string& executablePath) {
    // A registry key name cannot hold a backslash, so the whole path becomes one name.
    std::string name = executablePath;
    std::replace(name.begin(), name.end(), '\\', '/');
    return kCacheRoot + name;
}

std::optional<std::string> ProbeCache::read(const std::string& executablePath,
                                            std::uint64_t lastWriteTime) {
    std::uint32_t error = 0;
    std::unique_ptr<platform::RegistryKey> key =
        registry_.open(RegistryRoot::CurrentUser, probeCacheKey(executablePath),
                       platform::RegistryView::Default, error);
    if (!key)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> stamp =
        key->queryValue(kLastWriteTimeValue, kFileTimeBytes);
    if (!stamp || *stamp != fileTimeBytes(lastWriteTime))
        return std::nullopt; // the executable changed since, or the stamp is not a FILETIME
    std::optional<std::vector<unsigned char>> data =
        key->queryValue(kVersionValue, kVersionCapacity);
    if (!data)
        return std::nullopt;
    std::string version = textUpToZero(*data);
    if (isTruncatedVersion(version))
        return std::nullopt;
    return version;
}

void ProbeCache::write(const std::string& executablePath, std::uint64_t lastWriteTime,
                       const std::string& version) {
    std::unique_ptr<platform::RegistryKey> key =
        registry_.create(RegistryRoot::CurrentUser, probeCacheKey(executablePath));
    if (!key)
        return; // a cache that cannot be written only costs a probe next time
    key->setBinary(kLastWriteTimeValue, fileTimeBytes(lastWriteTime));
    key->setString(kVersionValue, version);
}

} // namespace kwn::jvm
