#pragma once
// The Java application's hold on the native splash, as the splash thread's timer reaches it:
// the thread attaches to the VM, finds the controller class once, and polls it.
#include <optional>
#include <string>

namespace kwn::splash {

class SplashController {
public:
    virtual ~SplashController() = default;
    // Attaches the calling thread; false while there is no VM yet.
    virtual bool attach() = 0;
    // The controller class and both of its methods; false when any is missing.
    virtual bool findController() = 0;
    virtual int getAction() = 0;
    // The new first line, or nullopt when Java returned null.
    virtual std::optional<std::u16string> getText() = 0;
    virtual void detach() = 0;
};

} // namespace kwn::splash
