#include "platform/win32/WideText.h"

#include "platform/win32/Win32Platform.h"
#include <cstdlib>
#include <ctime>

namespace kwn::platform::win32 {

namespace {
using UiLanguageFunction = LANGID(WINAPI*)();

class CriticalSection : public Lock {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() override { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void enter() override { EnterCriticalSection(&section_); }
    void leave() override { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};
} // namespace

LocalTime Win32System::localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wDayOfWeek};
}

std::string Win32System::windowsDirectoryA() {
    char buffer[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryA(buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::string() : std::string(buffer, length);
}

std::int64_t Win32System::timeSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

void Win32System::seedRandom(std::uint32_t seed) {
    std::srand(seed);
}

int Win32System::random() {
    return std::rand();
}

void Win32System::sleep(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::uint32_t Win32System::userDefaultLcid() {
    return GetUserDefaultLCID();
}

std::optional<std::uint16_t> Win32System::userDefaultUiLanguage() {
    HMODULE kernel = LoadLibraryA("Kernel32.DLL");
    if (!kernel)
        return std::nullopt;
    auto function = reinterpret_cast<UiLanguageFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetUserDefaultUILanguage")));
    if (!function)
        return std::nullopt;
    return function();
}

std::u16string Win32System::windowsDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::u16string() : fromWide(buffer, length);
}

std::optional<std::uint32_t> Win32System::enablePrivilege(const std::string& name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return std::nullopt;
    TOKEN_PRIVILEGES privileges{};
    LookupPrivilegeValueA(nullptr, name.c_str(), &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    DWORD error = GetLastError();
    CloseHandle(token);
    return error;
}

void Win32System::rebootWindows() {
    ExitWindowsEx(EWX_REBOOT, 0);
}

std::uint32_t Win32System::tickCount() {
    return GetTickCount();
}

std::unique_ptr<Lock> Win32Threads::createLock() {
    return std::make_unique<CriticalSection>();
}

namespace {
DWORD WINAPI runThreadBody(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}
} // namespace

bool Win32Threads::startThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, runThreadBody, owned.get(), 0, nullptr);
    if (!thread)
        return false;
    owned.release(); // the thread owns it now
    CloseHandle(thread);
    return true;
}

} // namespace kwn::platform::win32
