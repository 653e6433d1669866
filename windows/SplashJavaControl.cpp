#include "windows/SplashJavaControl.h"

#include "launcher/LaunchContext.h"
#include "windows/JavaEntryPoints.h"
#include "windows/JavaVMLauncher.h"

namespace kwn::windows {

bool SplashJavaControl::cleared() {
    if (!env_->ExceptionCheck())
        return false;
    env_->ExceptionClear();
    return true;
}

bool SplashJavaControl::attach() {
    env_ = attachCurrentThread(ctx_);
    return env_ != nullptr;
}

bool SplashJavaControl::findController() {
    jclass found = env_->FindClass(java::kSplashControllerClass);
    if (!found) {
        cleared(); // the NoClassDefFoundError of an application without the class
        return false;
    }
    controller_ = static_cast<jclass>(env_->NewGlobalRef(found));
    env_->DeleteLocalRef(found);
    getAction_ =
        env_->GetStaticMethodID(controller_, java::kGetActionMethod, java::kGetActionSignature);
    if (getAction_)
        getText_ =
            env_->GetStaticMethodID(controller_, java::kGetTextMethod, java::kGetTextSignature);
    cleared();
    return getAction_ && getText_;
}

int SplashJavaControl::getAction() {
    jint action = env_->CallStaticIntMethod(controller_, getAction_);
    return cleared() ? 0 : action;
}

std::optional<std::u16string> SplashJavaControl::getText() {
    auto text = static_cast<jstring>(env_->CallStaticObjectMethod(controller_, getText_));
    if (cleared() || !text)
        return std::nullopt;
    std::u16string copy;
    jsize length = env_->GetStringLength(text);
    if (const jchar* chars = env_->GetStringChars(text, nullptr)) {
        copy.assign(reinterpret_cast<const char16_t*>(chars), static_cast<std::size_t>(length));
        env_->ReleaseStringChars(text, chars);
    }
    // The thread stays in native code for the splash's life: release each text at once.
    env_->DeleteLocalRef(text);
    return copy;
}

void SplashJavaControl::detach() {
    detachCurrentThread(ctx_);
}

} // namespace kwn::windows
