#pragma once
// The Java end of the single-instance channel: each second start's arguments, as the listener
// thread reads them, become a call of the application's static Controller.startupPerformed.
#include "instance/Notification.h"

#include <jni.h>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

class StartupNotifier : public instance::NotificationSink {
public:
    explicit StartupNotifier(launcher::LaunchContext& ctx) : ctx_(ctx) {}
    StartupNotifier(const StartupNotifier&) = delete;
    StartupNotifier& operator=(const StartupNotifier&) = delete;

    // Attaches the listener thread once the VM exists, as a daemon: it blocks in the mailslot
    // for the life of the process and must not hold up the VM's shutdown.
    bool attach() override;
    // Looks the controller up until found (an application may load it late), then calls it;
    // every failure is logged and the next message is tried afresh.
    void deliver(const std::optional<std::u16string>& tail) override;

private:
    bool findController();
    void reportException();

    launcher::LaunchContext& ctx_;
    JNIEnv* env_ = nullptr;
    jclass controller_ = nullptr; // a global reference: the thread never returns to Java
    jmethodID startupPerformed_ = nullptr;
};

} // namespace kwn::windows
