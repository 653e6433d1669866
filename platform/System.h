#pragma once
// Machine-wide services: time, locale, sleeping and restarting Windows.
#include <cstdint>
#include <optional>
#include <string>

namespace kwn::platform {

struct LocalTime {
    int year = 1970, month = 1, day = 1; // month 1-12
    int hour = 0, minute = 0, second = 0;
    int weekday = 4; // 0 = Sunday
};

class System {
public:
    virtual ~System() = default;
    virtual LocalTime localTime() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t userDefaultLcid() = 0; // GetUserDefaultLCID
    // GetUserDefaultUILanguage looked up at run time; nullopt where kernel32 lacks it.
    virtual std::optional<std::uint16_t> userDefaultUiLanguage() = 0;
    virtual std::u16string windowsDirectory() = 0;   // GetWindowsDirectoryW
    virtual std::string windowsDirectoryA() = 0;     // GetWindowsDirectoryA
    virtual std::int64_t timeSeconds() = 0;          // time(): seconds since 1970
    virtual std::uint32_t tickCount() = 0;           // GetTickCount: milliseconds since boot
    virtual void seedRandom(std::uint32_t seed) = 0; // srand
    virtual int random() = 0;                        // rand

    // OpenProcessToken, LookupPrivilegeValueA and AdjustTokenPrivileges for one privilege.
    // nullopt when the token cannot be opened, else GetLastError after the adjustment.
    virtual std::optional<std::uint32_t> enablePrivilege(const std::string& name) = 0;
    virtual void rebootWindows() = 0; // ExitWindowsEx(EWX_REBOOT, 0)
};

} // namespace kwn::platform
