#include "platform/win32/Win32Platform.h"

#include <windows.h>

namespace kwn::platform::win32 {

namespace {
class Win32Mailslot : public Mailslot {
public:
    explicit Win32Mailslot(HANDLE handle) : handle_(handle) {}
    ~Win32Mailslot() override { CloseHandle(handle_); }
    Win32Mailslot(const Win32Mailslot&) = delete;
    Win32Mailslot& operator=(const Win32Mailslot&) = delete;

    bool read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
              std::uint32_t& error) override {
        DWORD count = 0;
        BOOL ok = ReadFile(handle_, buffer, capacity, &count, nullptr);
        bytesRead = count;
        error = ok ? 0 : GetLastError();
        return ok != FALSE;
    }
    std::optional<std::uint32_t> nextMessageSize(std::uint32_t& error) override {
        DWORD next = 0;
        if (!GetMailslotInfo(handle_, nullptr, &next, nullptr, nullptr)) {
            error = GetLastError();
            return std::nullopt;
        }
        return next;
    }

private:
    HANDLE handle_;
};

class Win32MailslotWriter : public MailslotWriter {
public:
    explicit Win32MailslotWriter(HANDLE handle) : handle_(handle) {}
    ~Win32MailslotWriter() override { CloseHandle(handle_); }
    Win32MailslotWriter(const Win32MailslotWriter&) = delete;
    Win32MailslotWriter& operator=(const Win32MailslotWriter&) = delete;

    bool write(const void* bytes, std::uint32_t count, std::uint32_t& written,
               std::uint32_t& error) override {
        DWORD done = 0;
        BOOL ok = WriteFile(handle_, bytes, count, &done, nullptr);
        written = done;
        error = ok ? 0 : GetLastError();
        return ok != FALSE;
    }

private:
    HANDLE handle_;
};
} // namespace

std::uint32_t Win32Ipc::currentProcessId() {
    return GetCurrentProcessId();
}

KernelHandle Win32Ipc::createSemaphore(const std::string& name, std::uint32_t& error) {
    SetLastError(ERROR_SUCCESS); // a new name leaves the last error as it was
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    error = GetLastError();
    return handle;
}

void Win32Ipc::closeHandle(KernelHandle handle) {
    if (handle)
        CloseHandle(handle);
}

std::unique_ptr<Mailslot> Win32Ipc::createMailslot(const std::string& name,
                                                   std::uint32_t maxMessageBytes) {
    HANDLE handle = CreateMailslotA(name.c_str(), maxMessageBytes, MAILSLOT_WAIT_FOREVER, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32Mailslot>(handle);
}

std::unique_ptr<MailslotWriter> Win32Ipc::openMailslot(const std::string& name,
                                                       std::uint32_t& error) {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32MailslotWriter>(handle);
}

} // namespace kwn::platform::win32
