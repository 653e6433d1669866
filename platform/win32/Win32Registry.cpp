#include "platform/win32/Win32Platform.h"

#include <windows.h>

namespace kwn::platform::win32 {

namespace {
// RegEnumKeyExA's name buffer, as large as any other path the launcher handles.
constexpr DWORD kNameCapacity = 6000;

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    std::optional<std::vector<unsigned char>> queryValue(const std::string& name,
                                                         std::uint32_t maxBytes) override {
        std::vector<unsigned char> data(maxBytes);
        DWORD size = maxBytes;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, data.data(), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        data.resize(size);
        return data;
    }
    bool setBinary(const std::string& name, const std::vector<unsigned char>& data) override {
        return RegSetValueExA(key_, name.c_str(), 0, REG_BINARY, data.data(),
                              static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    bool setString(const std::string& name, const std::string& data) override {
        return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    bool setDword(const std::string& name, std::uint32_t value) override {
        DWORD data = value;
        return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
    }
    std::uint32_t enumerateSubkey(std::uint32_t index, std::string& name) override {
        name.assign(kNameCapacity, '\0');
        DWORD length = kNameCapacity;
        LONG result =
            RegEnumKeyExA(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        name.resize(result == ERROR_SUCCESS ? length : 0);
        return static_cast<std::uint32_t>(result);
    }

private:
    HKEY key_;
};
} // namespace

std::unique_ptr<RegistryKey> Win32Registry::open(RegistryRoot root, const std::string& path,
                                                 RegistryView view, std::uint32_t& error) {
    REGSAM access = KEY_READ | (view == RegistryView::Registry32 ? KEY_WOW64_32KEY : 0);
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(rootKey(root), path.c_str(), 0, access, &key);
    error = static_cast<std::uint32_t>(result);
    if (result != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

std::unique_ptr<RegistryKey> Win32Registry::create(RegistryRoot root, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(rootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

} // namespace kwn::platform::win32
