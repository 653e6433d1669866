#include "instance/Notification.h"

#include "launcher/LaunchContext.h"
#include "windows/StartupNotifier.h"

#include <memory>

namespace kwn::instance {

namespace {
constexpr std::string_view kMailslotPrefix = "\\\\.\\mailslot\\kestrowan_notification_";
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
// A second start may come before the first has created its mailslot.
constexpr int kOpenRetries = 50;
constexpr std::uint32_t kRetryMilliseconds = 100;
constexpr std::uint32_t kEmptyPauseMilliseconds = 1000;
constexpr std::uint32_t kAttachPauseMilliseconds = 100;

// Fills buffer with the next message and sets count; false (logged) when the listener must
// stop.
bool readMessage(launcher::LaunchContext& ctx, platform::Mailslot& mailslot,
                 std::vector<unsigned char>& buffer, std::uint32_t& count) {
    for (;;) {
        std::uint32_t error = 0;
        if (mailslot.read(buffer.data(), 0, count, error))
            return true; // an empty message
        if (error != kErrorInsufficientBuffer) {
            // Wine fails the zero-byte wait at once (109) instead of blocking; a read with
            // room for the largest message blocks on both systems and takes it whole.
            if (mailslot.read(buffer.data(), static_cast<std::uint32_t>(buffer.size()), count,
                              error))
                return true;
            ctx.log.logMessage("error waiting for mailslot %d", error);
            return false;
        }
        std::optional<std::uint32_t> size = mailslot.nextMessageSize(error);
        if (!size) {
            ctx.log.logMessage("error reading from mailslot %d", error);
            return false;
        }
        if (*size == platform::Mailslot::kNoMessage) {
            ctx.log.logMessage("mailslot empty");
            ctx.os.system.sleep(kEmptyPauseMilliseconds);
            continue;
        }
        if (!mailslot.read(buffer.data(), *size, count, error)) {
            ctx.log.logMessage("error mailslot ReadFile %d", error);
            return false;
        }
        if (count != *size) {
            ctx.log.logMessage("error mailslot read %d instead of %d", count, *size);
            return false;
        }
        return true;
    }
}
} // namespace

std::string mailslotName(std::uint32_t processId) {
    return std::string(kMailslotPrefix) + std::to_string(processId);
}

std::vector<unsigned char> encodeNotification(std::u16string_view tail) {
    std::vector<unsigned char> bytes;
    bytes.reserve(tail.size() * 2);
    for (char16_t unit : tail) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

std::optional<std::u16string> decodeNotification(const unsigned char* bytes, std::size_t count) {
    std::u16string tail(count / 2, u'\0');
    for (size_t i = 0; i < tail.size(); ++i)
        tail[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (tail == kEmptyCommandLine)
        return std::nullopt;
    return tail;
}

void sendCommandLine(launcher::LaunchContext& ctx, std::uint32_t processId,
                     std::u16string_view tail) {
    std::string name = mailslotName(processId);
    ctx.log.logMessage("mailslot name %s", name);
    std::vector<unsigned char> message =
        encodeNotification(tail.empty() ? kEmptyCommandLine : tail);
    std::uint32_t error = 0;
    std::unique_ptr<platform::MailslotWriter> writer = ctx.os.ipc.openMailslot(name, error);
    for (int retry = 0; !writer && retry < kOpenRetries; ++retry) {
        ctx.os.system.sleep(kRetryMilliseconds);
        writer = ctx.os.ipc.openMailslot(name, error);
    }
    if (!writer) {
        ctx.log.logMessage("error mailslot CreateFile %d", error);
        return;
    }
    const auto size = static_cast<std::uint32_t>(message.size());
    std::uint32_t written = 0;
    if (!writer->write(message.data(), size, written, error))
        ctx.log.logMessage("error mailslot WriteFile %d", error);
    else if (written != size)
        ctx.log.logMessage("error mailslot WriteFile length %d %d", written, size);
}

void listenForNotifications(launcher::LaunchContext& ctx, platform::Mailslot& mailslot,
                            NotificationSink& sink) {
    ctx.log.logMessage("listening to mailslot");
    // Two bytes more than the largest message the mailslot accepts, so that no read cuts one.
    std::vector<unsigned char> buffer(kMaxMessageBytes + 2);
    std::uint32_t count = 0;
    while (readMessage(ctx, mailslot, buffer, count)) {
        // A start before the VM exists is held, not lost.
        while (!sink.attach())
            ctx.os.system.sleep(kAttachPauseMilliseconds);
        sink.deliver(decodeNotification(buffer.data(), count));
    }
}

void startNotificationListener(launcher::LaunchContext& ctx) {
    std::string name = mailslotName(ctx.os.ipc.currentProcessId());
    ctx.log.logMessage("mailslot name %s", name);
    std::shared_ptr<platform::Mailslot> mailslot =
        ctx.os.ipc.createMailslot(name, kMaxMessageBytes);
    if (!mailslot) {
        ctx.log.logMessage("creating mailslot failed");
        return;
    }
    ctx.log.logMessage("creating mailslot successful");
    ctx.os.threads.startThread([&ctx, mailslot] {
        windows::StartupNotifier notifier(ctx);
        listenForNotifications(ctx, *mailslot, notifier);
    });
}

} // namespace kwn::instance
