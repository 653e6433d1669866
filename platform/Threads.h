#pragma once
// Synchronisation primitives. MinGW's win32 thread model has no std::mutex.
#include <functional>
#include <memory>

namespace kwn::platform {

class Lock {
public:
    virtual ~Lock() = default;
    virtual void enter() = 0;
    virtual void leave() = 0;
};

class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.enter(); }
    ~LockGuard() { lock_.leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

class Threads {
public:
    virtual ~Threads() = default;
    virtual std::unique_ptr<Lock> createLock() = 0; // a critical section
    // CreateThread running body; the thread handle is not kept. False when it cannot start.
    virtual bool startThread(std::function<void()> body) = 0;
};

} // namespace kwn::platform
