#pragma once
// The vocabulary of the configuration block. The numbers are shared with the build tool that
// writes the block and must never change.
#include <cstddef>
#include <cstdint>

namespace kwn::config {

using Key = std::int32_t;

namespace key {
// Application and launch settings.
constexpr Key kApplicationName = 101;
constexpr Key kPassErrorLog = 102;
constexpr Key kErrorLogFile = 103;
constexpr Key kPassOutputLog = 104;
constexpr Key kOutputLogFile = 105;
constexpr Key kEntryFlag = 106;
constexpr Key kLauncherType = 107;
constexpr Key kSplashScreen = 108;
constexpr Key kClassPath = 121;
constexpr Key kMainClass = 122;
constexpr Key kVmOptions = 123;
constexpr Key kMainArguments = 124;
constexpr Key kAcceptJOptions = 125;
constexpr Key kMinJavaVersion = 126;
constexpr Key kMaxJavaVersion = 127;
constexpr Key kSearchSequence = 128;
constexpr Key kAllowPreRelease = 130;
constexpr Key kJdkRequired = 131;
constexpr Key kSplashWidth = 141;
constexpr Key kSplashHeight = 142;
constexpr Key kSplashAutoOff = 145;
constexpr Key kWorkingDirectory = 146;
constexpr Key kSplashOnTop = 147;
constexpr Key kPreferredVmType = 152;
constexpr Key kQuietAndConsoleSwitches = 154;
constexpr Key kConsoleSwitch = 156;
constexpr Key kGlobalSemaphore = 158;
constexpr Key kApplicationId = 160;
constexpr Key kSplashSecondFlag = 163;
constexpr Key kOwnRuntimesOnly = 165;

// Message texts. Those between that the launcher never shows are carried but not named.
constexpr Key kMessageCaption = 1000;
constexpr Key kMessageVmStartFailed = 1005;
constexpr Key kMessageClassPathEntryMissing = 1006;
constexpr Key kMessageVariableUndefined = 1008;
constexpr Key kMessageInternalError = 1009;
constexpr Key kMessageMainClassNotFound = 1010;
constexpr Key kMessageMainMethodNotFound = 1011;
constexpr Key kMessageNoTempDirectory = 1015;
constexpr Key kMessageNoJvm = 1016;
constexpr Key kMessageEnvJvmBroken32 = 1017;
constexpr Key kMessageEnvJvmBroken64 = 1018;
constexpr Key kMessageDirJvmBroken32 = 1019;
constexpr Key kMessageDirJvmBroken64 = 1020;

// Launcher data written by the build tool.
constexpr Key kFlavour = 2001;
constexpr Key kIncludedFileCount = 2002;
constexpr Key kIncludedFileNames = 2003;

// Installation, instance and splash settings.
constexpr Key kInstallationDirectory = 10003;
constexpr Key kNativeLibraryDirectories = 10004;
constexpr Key kSingleInstance = 10005;
constexpr Key kActivateRunningInstance = 10007;
constexpr Key kSplashLine1X = 10109;
constexpr Key kSplashLine1Y = 10110;
constexpr Key kSplashLine1Text = 10111;
constexpr Key kSplashLine1Font = 10112;
constexpr Key kSplashLine1Size = 10113;
constexpr Key kSplashLine1Color = 10114;
constexpr Key kSplashLine1Weight = 10115;
constexpr Key kSplashLine2X = 10116;
constexpr Key kSplashLine2Y = 10117;
constexpr Key kSplashLine2Text = 10118;
constexpr Key kSplashLine2Font = 10119;
constexpr Key kSplashLine2Size = 10120;
constexpr Key kSplashLine2Color = 10121;
constexpr Key kSplashLine2Weight = 10122;
constexpr Key kRuntimeSplash = 10123;
} // namespace key

// The buffer size every text lookup gets unless a caller says otherwise.
constexpr std::size_t kTextCapacity = 6000;

} // namespace kwn::config
