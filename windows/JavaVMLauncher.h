#pragma once
// The last start-up step: creating the Java VM inside the launcher's own process and running
// the entry class's main on the start-up thread. The VM handle stays in the launch context so
// that the splash and the notification listener can reach Java from their own threads.
#include <jni.h>

#include <string>

namespace kwn::launcher {
struct LaunchContext;
}

namespace kwn::windows {

// Creates the VM, hands over the splash settings when the runtime splash is on, and calls
// main. True when main returned cleanly or the first-run hook stopped the launch; false when
// the VM could not be created or main left an exception. When destroyAfterMain, waits in
// DestroyJavaVM for the application's last non-daemon thread, unless main failed.
bool launchJavaProgram(launcher::LaunchContext& ctx, bool destroyAfterMain);

// JNI_CreateJavaVM with the assembled VM options; env receives the start-up thread's JNIEnv.
bool createJvm(launcher::LaunchContext& ctx, JNIEnv*& env);

// The first-run hook (second flavour), then the entry class's main with the main arguments.
// Ends the launcher with a message when the entry class or its main is missing.
bool callMain(launcher::LaunchContext& ctx, JNIEnv* env);

// False when the first-run class asks to stop before main, or threw.
bool checkFirstRun(launcher::LaunchContext& ctx, JNIEnv* env);

// The fourteen runtime splash settings for the Java side; a missing class or method is only
// logged.
void passSplashSettings(launcher::LaunchContext& ctx, JNIEnv* env);

// For threads other than the start-up thread: null until the VM exists or when attaching
// fails. Detaching before the VM exists does nothing.
JNIEnv* attachCurrentThread(launcher::LaunchContext& ctx);
void detachCurrentThread(launcher::LaunchContext& ctx);

// FindClass form of the entry class for a flavour.
std::string entryClassName(char flavour);

// The file whose presence makes the second flavour ask the first-run class before main.
std::string firstRunMarkerPath(launcher::LaunchContext& ctx);

} // namespace kwn::windows
