#pragma once
// The Java classes and methods the launcher calls by name. They ship with the application, not
// with the launcher, so these names and signatures are a contract with the Java side: change
// one only together with the class that answers it. Class names are in FindClass form.
namespace kwn::windows::java {

// Entry classes: the second flavour ('i') has its own, every other flavour uses the first's.
inline constexpr const char* kEntryClassKestrowan = "com/kestrowan/runtime/launcher/WinLauncher";
inline constexpr const char* kEntryClassQelvo = "com/qelvo/runtime/WinLauncher";
inline constexpr const char* kMainMethod = "main";
inline constexpr const char* kMainSignature = "([Ljava/lang/String;)V";
inline constexpr const char* kStringClass = "java/lang/String";

// The runtime splash settings go to the first flavour's entry class in both flavours.
inline constexpr const char* kSplashConfigClass = kEntryClassQelvo;
inline constexpr const char* kSplashConfigMethod = "initAwtSplashConfig";
inline constexpr const char* kSplashConfigSignature =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";

// Second flavour only, and only while the first-run marker file exists.
inline constexpr const char* kFirstRunClass = "com/kestrowan/runtime/launcher/FirstRun";
inline constexpr const char* kFirstRunMethod = "firstRun";
inline constexpr const char* kFirstRunSignature = "()Z";

// Told about a later start of the same launcher, on the notification listener thread.
inline constexpr const char* kControllerClass = "com/qelvo/Controller";
inline constexpr const char* kStartupPerformedMethod = "startupPerformed";
inline constexpr const char* kStartupPerformedSignature = "(Ljava/lang/String;)V";

// Polled by the native splash window on its timer.
inline constexpr const char* kSplashControllerClass = "com/qelvo/runtime/QelvoController";
inline constexpr const char* kGetActionMethod = "getAction";
inline constexpr const char* kGetActionSignature = "()I";
inline constexpr const char* kGetTextMethod = "getText";
inline constexpr const char* kGetTextSignature = "()Ljava/lang/String;";
inline constexpr int kActionHideSplash = 1;
inline constexpr int kActionFetchText = 2;

} // namespace kwn::windows::java
