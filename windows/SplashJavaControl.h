#pragma once
// The splash controller class of the Java application, reached from the splash thread.
#include "splash/SplashController.h"

#include <jni.h>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

class SplashJavaControl : public splash::SplashController {
public:
    explicit SplashJavaControl(launcher::LaunchContext& ctx) : ctx_(ctx) {}
    SplashJavaControl(const SplashJavaControl&) = delete;
    SplashJavaControl& operator=(const SplashJavaControl&) = delete;

    bool attach() override;
    bool findController() override;
    // An exception thrown by the application counts as "nothing to do" and is cleared, so that
    // the next tick's calls are not made with one pending.
    int getAction() override;
    std::optional<std::u16string> getText() override;
    void detach() override;

private:
    bool cleared();

    launcher::LaunchContext& ctx_;
    JNIEnv* env_ = nullptr;
    jclass controller_ = nullptr; // a global reference: the thread never returns to Java
    jmethodID getAction_ = nullptr;
    jmethodID getText_ = nullptr;
};

} // namespace kwn::windows
