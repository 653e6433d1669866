#pragma once
// The channel from a second start to the running first instance: a mailslot named after the
// first instance's process id, one message of UTF-16LE code units per second start, and a
// listener thread in the first instance that hands each message to the Java application.
#include "platform/Ipc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::instance {

// Stands for a start without arguments, so that every message has content. A start whose
// only argument is this word is taken as one without arguments too.
inline constexpr std::u16string_view kEmptyCommandLine = u"__kwn_empty_command_line";
// A Windows command line has at most 32767 code units, so every tail fits.
inline constexpr std::uint32_t kMaxMessageBytes = 65536;

std::string mailslotName(std::uint32_t processId);

// The message bytes for a tail: its code units, little-endian, no terminator.
std::vector<unsigned char> encodeNotification(std::u16string_view tail);
// The tail a message carries, nullopt for a start without arguments. An odd last byte is
// dropped; the sender is any process of the session, so any bytes must decode.
std::optional<std::u16string> decodeNotification(const unsigned char* bytes, std::size_t count);

// Hands a second start's tail to the first instance; failures are only logged.
void sendCommandLine(launcher::LaunchContext& ctx, std::uint32_t processId,
                     std::u16string_view tail);

// Where the listener delivers: the Java application, once its VM exists.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    // False while there is no VM to deliver to yet; the listener waits and asks again.
    virtual bool attach() = 0;
    virtual void deliver(const std::optional<std::u16string>& tail) = 0;
};

// Reads messages one after another and delivers them in arrival order, until the mailslot
// fails.
void listenForNotifications(launcher::LaunchContext& ctx, platform::Mailslot& mailslot,
                            NotificationSink& sink);

// Creates this process's mailslot and the listener thread that delivers to the application.
void startNotificationListener(launcher::LaunchContext& ctx);

} // namespace kwn::instance
