#include "windows/StartupNotifier.h"

#include "launcher/LaunchContext.h"
#include "windows/JavaEntryPoints.h"

#include <string>

namespace kwn::windows {

namespace {
// Room for the string, the exception and its text of one delivery; the frame is popped after
// each message, so references never pile up on a thread that never returns to Java.
constexpr jint kLocalFrameCapacity = 8;
} // namespace

bool StartupNotifier::attach() {
    if (env_)
        return true;
    if (!ctx_.vmCreated.load(std::memory_order_acquire) || !ctx_.javaVm)
        return false;
    void* env = nullptr;
    if (ctx_.javaVm->AttachCurrentThreadAsDaemon(&env, nullptr) != JNI_OK)
        return false;
    env_ = static_cast<JNIEnv*>(env);
    return true;
}

bool StartupNotifier::findController() {
    if (controller_ && startupPerformed_)
        return true;
    if (!controller_) {
        jclass found = env_->FindClass(java::kControllerClass);
        if (found) {
            controller_ = static_cast<jclass>(env_->NewGlobalRef(found));
            env_->DeleteLocalRef(found);
        }
    }
    if (controller_)
        startupPerformed_ = env_->GetStaticMethodID(controller_, java::kStartupPerformedMethod,
                                                    java::kStartupPerformedSignature);
    if (controller_ && startupPerformed_)
        return true;
    if (env_->ExceptionCheck())
        env_->ExceptionClear(); // the failed lookup's NoClassDefFoundError or NoSuchMethodError
    ctx_.log.logMessage("error mailslot methods %p %p", static_cast<const void*>(controller_),
                        static_cast<const void*>(startupPerformed_));
    return false;
}

// An exception left pending would make the next message's calls undefined: say what it was,
// then clear it.
void StartupNotifier::reportException() {
    jthrowable thrown = env_->ExceptionOccurred();
    env_->ExceptionClear();
    std::string text = "(no description)";
    jclass type = env_->GetObjectClass(thrown);
    jmethodID toString = env_->GetMethodID(type, "toString", "()Ljava/lang/String;");
    jstring description =
        toString ? static_cast<jstring>(env_->CallObjectMethod(thrown, toString)) : nullptr;
    if (description && !env_->ExceptionCheck()) {
        if (const char* utf = env_->GetStringUTFChars(description, nullptr)) {
            text = utf;
            env_->ReleaseStringUTFChars(description, utf);
        }
    }
    if (env_->ExceptionCheck())
        env_->ExceptionClear();
    ctx_.log.logMessage("error mailslot startupPerformed threw %s", text);
}

void StartupNotifier::deliver(const std::optional<std::u16string>& tail) {
    if (!findController())
        return;
    if (env_->PushLocalFrame(kLocalFrameCapacity) != JNI_OK) {
        env_->ExceptionClear();
        ctx_.log.logMessage("error mailslot string");
        return;
    }
    jstring text = nullptr;
    if (tail) {
        text = env_->NewString(reinterpret_cast<const jchar*>(tail->data()),
                               static_cast<jsize>(tail->size()));
        if (!text) {
            env_->ExceptionClear();
            ctx_.log.logMessage("error mailslot string");
            env_->PopLocalFrame(nullptr);
            return;
        }
    }
    env_->CallStaticVoidMethod(controller_, startupPerformed_, text);
    if (env_->ExceptionCheck())
        reportException();
    env_->PopLocalFrame(nullptr);
}

} // namespace kwn::windows
