#pragma once
// The real operating system behind the platform interfaces.
#include "platform/Platform.h"

namespace kwn::platform::win32 {

class Win32Files : public Files {
public:
    std::unique_ptr<ReadableFile> openForReading(const std::u16string& path) override;
    std::unique_ptr<TextFile> openText(const std::u16string& path, TextMode mode) override;
    std::optional<bool> isDirectory(const std::u16string& path) override;
    std::optional<std::vector<DirectoryEntry>> findFiles(const std::string& pattern) override;
    using Files::deleteFile;
    bool deleteFile(const std::string& path, std::uint32_t& error) override;
    bool removeDirectory(const std::string& path) override;
    std::optional<std::u16string> longPathName(const std::u16string& path) override;
    std::optional<std::u16string> shortPathName(const std::u16string& path) override;
    std::optional<std::string> longPathNameA(const std::string& path) override;
    std::optional<std::string> shortPathNameA(const std::string& path) override;
    std::optional<std::string> fullPathName(const std::string& path) override;
    std::optional<std::u16string> fullPathNameW(const std::u16string& path) override;
    std::optional<DirectoryEntry> findFirst(const std::string& path) override;
    bool findFirstW(const std::u16string& path) override;
    std::uint32_t createDirectory(const std::string& path) override;
    std::uint32_t createDirectoryW(const std::u16string& path) override;
    bool removeDirectoryW(const std::u16string& path) override;
    TempPathResult<std::string> tempPath() override;
    TempPathResult<std::u16string> tempPathW() override;
    std::optional<std::string> tempFileName(const std::string& directory, const std::string& prefix,
                                            std::uint32_t& error) override;
    std::unique_ptr<WritableFile> createForWriting(const std::string& path,
                                                   std::uint32_t& error) override;
    bool setCurrentDirectoryW(const std::u16string& path) override;
    std::optional<std::string> readFirstLine(const std::u16string& path,
                                             std::size_t maxChars) override;
    std::unique_ptr<TextReader> openTextForReading(const std::u16string& path) override;
    std::vector<std::string> readFirstLines(const std::u16string& path,
                                            std::size_t maxLines) override;
};

class Win32Environment : public Environment {
public:
    std::optional<std::string> get(const std::string& name) override;
    std::optional<std::u16string> getW(const std::u16string& name) override;
    std::uint32_t set(const std::string& name, const std::string& value) override;
    std::vector<std::string> block() override;
    std::vector<std::u16string> blockW() override;
    void putRuntimeVariable(const std::string& assignment) override;
    std::optional<std::string> getRuntimeVariable(const std::string& name) override;
};

class Win32Process : public Process {
public:
    std::u16string commandLine() override;
    std::u16string moduleFileName() override;
    std::string moduleFileNameA() override;
    std::uint32_t startProcess(const std::u16string& commandLine) override;

protected:
    void exitProcess(int code) override;
};

class Win32UserInterface : public UserInterface {
public:
    void initCommonControls() override;
    MessageBoxAnswer messageBox(WindowHandle owner, const std::string& text,
                                const std::string& caption, MessageBoxStyle style) override;
    MessageBoxAnswer messageBoxW(WindowHandle owner, const std::u16string& text,
                                 const std::u16string& caption, MessageBoxStyle style) override;
    std::vector<WindowHandle> topLevelWindows() override;
    bool isWindowVisible(WindowHandle window) override;
    std::uint32_t windowProcessId(WindowHandle window) override;
    bool isMinimized(WindowHandle window) override;
    void restoreWindow(WindowHandle window) override;
    void setForegroundWindow(WindowHandle window) override;
    WindowHandle lastActivePopup(WindowHandle window) override;
    WindowHandle findWindowByTitle(const std::string& title) override;
};

class Win32Console : public Console {
public:
    void writeError(const std::string& text) override;
    void writeOutput(const std::string& text) override;
    AttachResult attachParentConsole() override;
    bool allocConsole() override;
    std::uint32_t outputCodePage() override;
    std::optional<std::string> title() override;
    bool setTitle(const std::string& title) override;

private:
    static constexpr unsigned long kTitleCapacity = 6000;
};

class Win32System : public System {
public:
    LocalTime localTime() override;
    void sleep(std::uint32_t milliseconds) override;
    std::uint32_t userDefaultLcid() override;
    std::optional<std::uint16_t> userDefaultUiLanguage() override;
    std::u16string windowsDirectory() override;
    std::string windowsDirectoryA() override;
    std::int64_t timeSeconds() override;
    std::uint32_t tickCount() override;
    void seedRandom(std::uint32_t seed) override;
    int random() override;
    std::optional<std::uint32_t> enablePrivilege(const std::string& name) override;
    void rebootWindows() override;
};

class Win32Threads : public Threads {
public:
    std::unique_ptr<Lock> createLock() override;
    bool startThread(std::function<void()> body) override;
};

class Win32Ipc : public Ipc {
public:
    std::uint32_t currentProcessId() override;
    KernelHandle createSemaphore(const std::string& name, std::uint32_t& error) override;
    void closeHandle(KernelHandle handle) override;
    std::unique_ptr<Mailslot> createMailslot(const std::string& name,
                                             std::uint32_t maxMessageBytes) override;
    std::unique_ptr<MailslotWriter> openMailslot(const std::string& name,
                                                 std::uint32_t& error) override;
};

class Win32CodePage : public CodePage {
public:
    NarrowText toNarrow(const std::u16string& text) override;
    std::u16string toWide(const std::string& text) override;
};

class Win32Registry : public Registry {
public:
    std::unique_ptr<RegistryKey> open(RegistryRoot root, const std::string& path, RegistryView view,
                                      std::uint32_t& error) override;
    std::unique_ptr<RegistryKey> create(RegistryRoot root, const std::string& path) override;
};

class Win32Programs : public Programs {
public:
    StartResult startHidden(const std::string& commandLine,
                            const std::optional<std::string>& errorOutputFile) override;
    StartResult startProgramHidden(const std::string& program,
                                   const std::string& arguments) override;
    std::optional<std::string> searchPath(const std::string& name) override;
    LoadResult loadLibrary(const std::string& path) override;
};

// One splash window per process: its paint and tick callbacks are kept here for the window
// procedure and the timer procedure, which Windows calls without a context.
class Win32SplashScreen : public SplashScreen {
public:
    bool registerWindowClass(void* instance) override;
    WindowRect desktopRect() override;
    WindowHandle createWindow(void* instance, const std::string& title, int x, int y, int width,
                              int height, std::function<void(SplashCanvas&)> paint) override;
    void showWindow(WindowHandle window, int showCommand) override;
    void makeTopmost(WindowHandle window) override;
    void repaint(WindowHandle window) override;
    void startTimer(std::uint32_t id, std::uint32_t milliseconds,
                    std::function<void()> tick) override;
    int runMessageLoop() override;
    void quitMessageLoop() override;
    WindowHandle foregroundWindow() override;
    std::optional<ResourceData> findResourceData(void* instance, int id) override;
};

class Win32Platform {
public:
    Platform& platform() { return platform_; }

private:
    Win32Files files_;
    Win32Environment environment_;
    Win32Process process_;
    Win32UserInterface ui_;
    Win32Console console_;
    Win32System system_;
    Win32Threads threads_;
    Win32CodePage codePage_;
    Win32Registry registry_;
    Win32Programs programs_;
    Win32Ipc ipc_;
    Win32SplashScreen splash_;
    Platform platform_{files_,   environment_, process_,  ui_,       console_, system_,
                       threads_, codePage_,    registry_, programs_, ipc_,     &splash_};
};

} // namespace kwn::platform::win32
