#pragma once
// What one launcher process needs to find and talk to another launcher of the same file: the
// named semaphore that marks a running instance, its process id, and the mailslot a second
// start hands its command line through.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kwn::platform {

using KernelHandle = void*;

// The reading end, owned by the listener thread of the first instance.
class Mailslot {
public:
    virtual ~Mailslot() = default;
    // ReadFile of at most capacity bytes, blocking while the mailslot is empty; on failure
    // error is GetLastError (122 for a zero-byte read that finds a message waiting).
    virtual bool read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                      std::uint32_t& error) = 0;
    // GetMailslotInfo: the size of the next message, kNoMessage when there is none, nullopt
    // with GetLastError on failure.
    virtual std::optional<std::uint32_t> nextMessageSize(std::uint32_t& error) = 0;
    static constexpr std::uint32_t kNoMessage = 0xFFFFFFFF; // MAILSLOT_NO_MESSAGE
};

// The writing end a second start opens on the first instance's mailslot.
class MailslotWriter {
public:
    virtual ~MailslotWriter() = default;
    // One WriteFile, so that the bytes arrive as one message.
    virtual bool write(const void* bytes, std::uint32_t count, std::uint32_t& written,
                       std::uint32_t& error) = 0;
};

class Ipc {
public:
    virtual ~Ipc() = default;
    virtual std::uint32_t currentProcessId() = 0; // GetCurrentProcessId
    // CreateSemaphoreA, initial and maximum count 1, default security. error is GetLastError,
    // 183 when the name already existed (the handle then refers to the existing semaphore).
    virtual KernelHandle createSemaphore(const std::string& name, std::uint32_t& error) = 0;
    virtual void closeHandle(KernelHandle handle) = 0;
    // CreateMailslotA with an infinite read time-out; null on failure.
    virtual std::unique_ptr<Mailslot> createMailslot(const std::string& name,
                                                     std::uint32_t maxMessageBytes) = 0;
    // CreateFileA for writing, shared for reading; null with GetLastError on failure.
    virtual std::unique_ptr<MailslotWriter> openMailslot(const std::string& name,
                                                         std::uint32_t& error) = 0;
};

} // namespace kwn::platform
