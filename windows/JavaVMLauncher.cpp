#include "windows/JavaVMLauncher.h"

#include "files/FileQueries.h"
#include "launcher/LaunchContext.h"
#include "windows/JavaEntryPoints.h"
#include "windows/MainArguments.h"
#include "windows/VmArguments.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kwn::windows {

namespace {
using namespace config::key;

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);
// A jni_md.h of the wrong platform would shift every argument the VM reads.
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jchar) == sizeof(char16_t));

constexpr std::size_t kInstallationDirectoryCapacity = 2000;
constexpr std::size_t kSplashTextCapacity = 2000;
constexpr const char* kFirstRunMarker = "\\.kestrowan\\firstrun";
constexpr char kSecondFlavour = 'i';

// The VM may keep pointers into the option record, so the texts, the option array and the
// record live together and are never freed.
struct VmArgumentRecord {
    explicit VmArgumentRecord(std::vector<std::string> options) : texts(std::move(options)) {
        for (std::string& text : texts)
            entries.push_back(JavaVMOption{text.data(), nullptr});
        record.version = JNI_VERSION_1_2;
        record.nOptions = static_cast<jint>(entries.size());
        record.options = entries.data();
        record.ignoreUnrecognized = JNI_TRUE;
    }
    VmArgumentRecord(const VmArgumentRecord&) = delete;
    VmArgumentRecord& operator=(const VmArgumentRecord&) = delete;

    std::vector<std::string> texts;
    std::vector<JavaVMOption> entries;
    JavaVMInitArgs record{};
};

// The VM could not allocate what main needs; nothing sensible can follow.
[[noreturn]] void internalStop(launcher::LaunchContext& ctx, const char* what) {
    ctx.log.logError("assertion failed: %s", what);
    ctx.errors.fatalText(std::string("Internal Error: ") + what);
}

// A failed lookup leaves an exception pending, and no JNI call may follow one. Used where the
// launch goes on regardless.
void dropPendingException(JNIEnv* env) {
    if (env->ExceptionCheck())
        env->ExceptionClear();
}

// Prints and clears what a Java call left behind; true when there was something.
bool describePendingException(JNIEnv* env) {
    jthrowable thrown = env->ExceptionOccurred();
    if (!thrown)
        return false;
    env->ExceptionDescribe();
    env->DeleteLocalRef(thrown);
    return true;
}

jobjectArray newArgumentArray(launcher::LaunchContext& ctx, JNIEnv* env,
                              const std::vector<std::u16string>& arguments) {
    jclass stringClass = env->FindClass(java::kStringClass);
    if (!stringClass)
        internalStop(ctx, "stringClass");
    jobjectArray array =
        env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr);
    if (!array)
        internalStop(ctx, "paramArray");
    env->DeleteLocalRef(stringClass);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        ctx.log.logMessage("param %d: %S", static_cast<int>(i), argument);
        jstring text = env->NewString(reinterpret_cast<const jchar*>(argument.data()),
                                      static_cast<jsize>(argument.size()));
        if (!text)
            internalStop(ctx, "jstr");
        env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
        // One local reference per argument would outgrow the frame for long command lines.
        env->DeleteLocalRef(text);
    }
    return array;
}

struct SplashLine {
    config::Key text, x, y, color, size, weight;
};
constexpr SplashLine kSplashLine1{kSplashLine1Text,  kSplashLine1X,    kSplashLine1Y,
                                  kSplashLine1Color, kSplashLine1Size, kSplashLine1Weight};
constexpr SplashLine kSplashLine2{kSplashLine2Text,  kSplashLine2X,    kSplashLine2Y,
                                  kSplashLine2Color, kSplashLine2Size, kSplashLine2Weight};

// The splash strings are narrow configuration text handed over as the VM's UTF-8.
jstring splashString(launcher::LaunchContext& ctx, JNIEnv* env, config::Key key) {
    return env->NewStringUTF(ctx.config.getString(key, kSplashTextCapacity).c_str());
}

void callSplashConfig(launcher::LaunchContext& ctx, JNIEnv* env, jclass splashClass,
                      jmethodID method) {
    const config::ConfigBlock& config = ctx.config;
    jstring strings[] = {
        splashString(ctx, env, kSplashLine1.text), splashString(ctx, env, kSplashLine1.color),
        splashString(ctx, env, kSplashLine2.text), splashString(ctx, env, kSplashLine2.color)};
    if (std::all_of(std::begin(strings), std::end(strings), [](jstring s) { return s; })) {
        jboolean secondFlag = config.getInt(kSplashSecondFlag) != 0 ? JNI_TRUE : JNI_FALSE;
        env->CallStaticVoidMethod(
            splashClass, method, JNI_TRUE, secondFlag, strings[0], config.getInt(kSplashLine1.x),
            config.getInt(kSplashLine1.y), strings[1], config.getInt(kSplashLine1.size),
            config.getInt(kSplashLine1.weight), strings[2], config.getInt(kSplashLine2.x),
            config.getInt(kSplashLine2.y), strings[3], config.getInt(kSplashLine2.size),
            config.getInt(kSplashLine2.weight));
        // The splash is a side feature: what it throws must not reach the call of main.
        describePendingException(env);
    } else {
        ctx.log.logError("could not create strings for splash properties");
        dropPendingException(env);
    }
    for (jstring text : strings) {
        if (text)
            env->DeleteLocalRef(text);
    }
}
} // namespace

std::string entryClassName(char flavour) {
    return flavour == kSecondFlavour ? java::kEntryClassKestrowan : java::kEntryClassQelvo;
}

std::string firstRunMarkerPath(launcher::LaunchContext& ctx) {
    std::string directory =
        ctx.config.getString(kInstallationDirectory, kInstallationDirectoryCapacity);
    return ctx.paths.getFullPath(directory, true) + kFirstRunMarker;
}

bool launchJavaProgram(launcher::LaunchContext& ctx, bool destroyAfterMain) {
    ctx.log.logMessage("launching program");
    JNIEnv* env = nullptr;
    if (!createJvm(ctx, env)) {
        ctx.log.logError("could not initialize JVM");
        return false;
    }
    ctx.log.logMessage("JVM created");
    ctx.vmCreated.store(true, std::memory_order_release);

    if (ctx.config.getInt(kSplashScreen) != 0 && ctx.config.getInt(kRuntimeSplash) != 0)
        passSplashSettings(ctx, env);
    if (!callMain(ctx, env)) {
        // The application's threads may still run; tearing the VM down under them could hang.
        ctx.log.logError("could not call main");
        return false;
    }
    if (destroyAfterMain) {
        ctx.log.logMessage("dest JVM");
        ctx.javaVm->DestroyJavaVM();
    }
    ctx.log.logMessage("launch done");
    return true;
}

bool createJvm(launcher::LaunchContext& ctx, JNIEnv*& env) {
    // Not make_shared: without type information (as the stub is built) it needs the library's
    // exception support.
    std::shared_ptr<VmArgumentRecord> arguments(new VmArgumentRecord(buildVmArguments(ctx)));
    ctx.vmInitArgs = arguments;
    ctx.log.logMessage("Creating JVM");
    if (!ctx.createJavaVm)
        return false;
    auto createJavaVm = reinterpret_cast<CreateJavaVm>(ctx.createJavaVm);
    JavaVM* vm = nullptr;
    void* startupEnv = nullptr;
    if (createJavaVm(&vm, &startupEnv, &arguments->record) != JNI_OK)
        return false;
    ctx.javaVm = vm;
    env = static_cast<JNIEnv*>(startupEnv);
    return true;
}

void passSplashSettings(launcher::LaunchContext& ctx, JNIEnv* env) {
    jclass splashClass = env->FindClass(java::kSplashConfigClass);
    if (!splashClass) {
        dropPendingException(env);
        ctx.log.logError("could not find main class for splash properties");
        return;
    }
    jmethodID method = env->GetStaticMethodID(splashClass, java::kSplashConfigMethod,
                                              java::kSplashConfigSignature);
    if (method) {
        callSplashConfig(ctx, env, splashClass, method);
    } else {
        dropPendingException(env);
        ctx.log.logError("could not find method for splash properties");
    }
    env->DeleteLocalRef(splashClass);
}

bool checkFirstRun(launcher::LaunchContext& ctx, JNIEnv* env) {
    if (!files::fileExists(ctx.os.files, firstRunMarkerPath(ctx)))
        return true;
    jclass firstRunClass = env->FindClass(java::kFirstRunClass);
    if (!firstRunClass)
        ctx.errors.fatalMessage(kMessageInternalError, std::string("14"));
    jmethodID method =
        env->GetStaticMethodID(firstRunClass, java::kFirstRunMethod, java::kFirstRunSignature);
    if (!method)
        ctx.errors.fatalMessage(kMessageInternalError, std::string("15"));
    jboolean goOn = env->CallStaticBooleanMethod(firstRunClass, method);
    bool threw = describePendingException(env);
    env->DeleteLocalRef(firstRunClass);
    return !threw && goOn != JNI_FALSE;
}

bool callMain(launcher::LaunchContext& ctx, JNIEnv* env) {
    if (ctx.flavour == kSecondFlavour && !checkFirstRun(ctx, env)) {
        ctx.log.logMessage("checkFirstRun stopped further execution");
        return true;
    }
    std::string className = entryClassName(ctx.flavour);
    std::replace(className.begin(), className.end(), '.', '/');
    ctx.log.logMessage("main class: %s", className);
    jclass entryClass = env->FindClass(className.c_str());
    if (!entryClass) {
        ctx.log.logError("could not find main class");
        ctx.errors.fatalMessageW(kMessageMainClassNotFound, std::nullopt);
    }
    jmethodID main = env->GetStaticMethodID(entryClass, java::kMainMethod, java::kMainSignature);
    if (!main) {
        ctx.log.logError("could not find main method");
        ctx.errors.fatalMessageW(kMessageMainMethodNotFound, std::nullopt);
    }

    std::vector<std::u16string> arguments = buildMainArguments(ctx);
    ctx.log.logMessage("param count: %d", static_cast<int>(arguments.size()));
    jobjectArray argumentArray = newArgumentArray(ctx, env, arguments);
    ctx.log.logMessage("calling main");
    env->CallStaticVoidMethod(entryClass, main, argumentArray);
    ctx.log.logMessage("main returned");
    if (jthrowable thrown = env->ExceptionOccurred()) {
        ctx.log.logError("an exception occured");
        env->ExceptionDescribe();
        env->DeleteLocalRef(thrown);
        return false;
    }
    env->DeleteLocalRef(argumentArray);
    env->DeleteLocalRef(entryClass);
    return true;
}

JNIEnv* attachCurrentThread(launcher::LaunchContext& ctx) {
    if (!ctx.vmCreated.load(std::memory_order_acquire) || !ctx.javaVm)
        return nullptr;
    void* env = nullptr;
    if (ctx.javaVm->AttachCurrentThread(&env, nullptr) != JNI_OK)
        return nullptr;
    return static_cast<JNIEnv*>(env);
}

void detachCurrentThread(launcher::LaunchContext& ctx) {
    if (ctx.vmCreated.load(std::memory_order_acquire) && ctx.javaVm)
        ctx.javaVm->DetachCurrentThread();
}

} // namespace kwn::windows
