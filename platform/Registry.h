#pragma once
// The Windows registry, as far as the runtime search reads and the probe cache writes it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kwn::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };
// The 32-bit view (KEY_WOW64_32KEY) differs from the default view only for a 64-bit process.
enum class RegistryView { Default, Registry32 };

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // RegQueryValueExA: the raw data, or nullopt when the value is missing or larger than
    // maxBytes (the caller's buffer).
    virtual std::optional<std::vector<unsigned char>> queryValue(const std::string& name,
                                                                 std::uint32_t maxBytes) = 0;
    // RegSetValueExA with REG_BINARY or REG_SZ data exactly as given.
    virtual bool setBinary(const std::string& name, const std::vector<unsigned char>& data) = 0;
    virtual bool setString(const std::string& name, const std::string& data) = 0;
    virtual bool setDword(const std::string& name, std::uint32_t value) = 0; // REG_DWORD
    // RegEnumKeyExA of the subkey at index: 0 with its name, else the call's error
    // (ERROR_NO_MORE_ITEMS past the last one).
    virtual std::uint32_t enumerateSubkey(std::uint32_t index, std::string& name) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA with KEY_READ; null with the error code when it cannot be opened.
    virtual std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path,
                                              RegistryView view, std::uint32_t& error) = 0;
    // RegCreateKeyExA with KEY_ALL_ACCESS, non-volatile; null on failure.
    virtual std::unique_ptr<RegistryKey> create(RegistryRoot root, const std::string& path) = 0;
};

} // namespace kwn::platform
