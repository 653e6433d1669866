#pragma once
// The process-wide state of one launcher start, created once in the entry point and handed to
// every step by reference, so that a test can build one, run a step and look at the result.
#include "config/ConfigBlock.h"
#include "config/LocaleDetection.h"
#include "diag/NativeLog.h"
#include "files/LauncherPaths.h"
#include "launcher/ErrorReporter.h"
#include "platform/Platform.h"
#include "splash/SplashState.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct JavaVM_; // jni.h's JavaVM, named here without pulling the JNI headers into every part

namespace kwn::launcher {

struct LaunchContext {
    explicit LaunchContext(platform::Platform& platform)
        : os(platform), log(platform), paths(platform), errors(*this) {}
    LaunchContext(const LaunchContext&) = delete;
    LaunchContext& operator=(const LaunchContext&) = delete;

    platform::Platform& os;
    diag::NativeLog log;
    config::ConfigBlock config;
    config::Locale locale;
    files::LauncherPaths paths;
    ErrorReporter errors;

    std::vector<std::u16string> arguments; // element 0 is the launcher path as written
    bool languageRestart = false;
    bool messageBoxMode = true; // only ever switched off
    char flavour = '\0';
    std::string productName;
    std::u16string productNameW;
    void* instance = nullptr;  // module instance handle, for the splash resources
    std::string tempDirectory; // the launcher temp directory; empty until files are extracted
    std::int64_t unextractedPosition = 0;         // file offset behind the last extracted record
    std::size_t optionsFilesOpened = 0;           // VM options files read so far, includes too
    std::string jvmHome;                          // the chosen java executable's directory + ".."
    std::unique_ptr<platform::Library> vmLibrary; // the loaded jvm.dll, never unloaded
    void* createJavaVm = nullptr;                 // its JNI_CreateJavaVM
    std::optional<std::string> semaphoreName;     // the instance semaphore, once one exists
    // The VM, written once on the start-up thread before vmCreated is set; the splash and
    // listener threads look at vmCreated first and only then read javaVm.
    JavaVM_* javaVm = nullptr;
    std::atomic<bool> vmCreated = false;
    std::shared_ptr<void> vmInitArgs; // the option record the VM was given; kept to the end
    platform::WindowHandle errorOwnerWindow = nullptr;
    // This process's console window, left out when the splash counts the application's
    // windows; nullopt until the first count has looked for it (null: there is none).
    std::optional<platform::WindowHandle> consoleWindow;
    splash::SplashState splash;
};

} // namespace kwn::launcher
