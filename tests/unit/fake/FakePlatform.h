#pragma once
// In-memory stand-ins for every platform interface, so that the launcher logic runs in a unit
// test exactly as it runs on Windows, and every effect it has on the system can be inspected.
#include "fake/FakePrograms.h"
#include "fake/FakeRegistry.h"
#include "fake/FakeSplash.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kwn::test {

// Thrown by the fake process exit, so that a test sees "the launcher ended with code N"
// instead of the test process ending.
struct ExitCalled {
    int code;
};

// Runs body and returns the code it exited with, or nullopt when it came back.
std::optional<int> exitCodeOf(const std::function<void()>& body);

// Byte-for-code-unit conversions, enough for the ASCII and Latin-1 text the tests use.
std::u16string widen(std::string_view text);
std::string narrow(std::u16string_view text);

// ---------------------------------------------------------------------------------------------
// Files: an in-memory disk. Paths are compared as written (case-sensitive); trailing backslashes
// are ignored except on a drive root such as "c:\". Creating a file needs an existing parent
// directory that is not read-only, as on a real disk.

struct ReadFailure {
    int fromCall = 0;        // read calls before this one succeed
    std::uint32_t error = 0; // GetLastError of the failing reads
};

struct FakeFile {
    std::vector<unsigned char> bytes;
    std::optional<ReadFailure> readFailure;
};

class FakeReadableFile : public platform::ReadableFile {
public:
    explicit FakeReadableFile(FakeFile file) : file_(std::move(file)) {}
    ReadResult read(void* buffer, std::uint32_t count) override {
        if (file_.readFailure && calls_++ >= file_.readFailure->fromCall)
            return {false, 0, file_.readFailure->error};
        std::int64_t available = std::max<std::int64_t>(0, size() - position_);
        auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(count, available));
        if (n > 0)
            std::memcpy(buffer, file_.bytes.data() + position_, n);
        position_ += n;
        return {true, n, 0};
    }
    bool seek(std::int64_t position) override {
        if (position < 0)
            return false;
        position_ = position; // beyond the end is allowed, as with SetFilePointerEx
        return true;
    }
    std::int64_t size() override { return static_cast<std::int64_t>(file_.bytes.size()); }

private:
    FakeFile file_;
    std::int64_t position_ = 0;
    int calls_ = 0;
};

class FakeFiles : public platform::Files {
public:
    // Set-up; parent directories are created as needed.
    void addDirectory(std::u16string_view path);
    void addDirectory(std::string_view path) { addDirectory(widen(path)); }
    void addFile(std::u16string_view path, std::vector<unsigned char> bytes);
    void addFile(std::u16string_view path, std::string_view text) {
        addFile(path, std::vector<unsigned char>(text.begin(), text.end()));
    }
    void addFile(std::string_view path, std::string_view text) { addFile(widen(path), text); }

    // The content of a file as text; empty when it does not exist.
    std::string text(std::u16string_view path) const;

    std::unique_ptr<platform::ReadableFile> openForReading(const std::u16string& path) override;
    // Text files are written as handed over: "\n" to CR LF is the C runtime's business.
    std::unique_ptr<platform::TextFile> openText(const std::u16string& path,
                                                 platform::TextMode mode) override;
    std::optional<bool> isDirectory(const std::u16string& path) override;
    // Entries of the pattern's directory whose names match its last component, "." and ".."
    // included when they match; nullopt when nothing matches, as FindFirstFile fails then.
    std::optional<std::vector<platform::DirectoryEntry>>
    findFiles(const std::string& pattern) override;
    using platform::Files::deleteFile;
    // Fails with deleteErrors' code for that file, else with 2 when there is no such file.
    bool deleteFile(const std::string& path, std::uint32_t& error) override;
    bool removeDirectory(const std::string& path) override;
    bool removeDirectoryW(const std::u16string& path) override {
        return removeDirectory(narrow(path));
    }
    // Mapped paths answer as mapped; any other existing path is its own long and short form.
    std::optional<std::u16string> longPathName(const std::u16string& path) override {
        return existingForm(path, longPaths);
    }
    std::optional<std::u16string> shortPathName(const std::u16string& path) override {
        return existingForm(path, shortPaths);
    }
    std::optional<std::string> longPathNameA(const std::string& path) override;
    std::optional<std::string> shortPathNameA(const std::string& path) override;
    // Relative paths are taken against currentDirectory; "." and ".." are resolved, trailing
    // dots and blanks dropped.
    std::optional<std::string> fullPathName(const std::string& path) override;
    std::optional<std::u16string> fullPathNameW(const std::u16string& path) override;
    // "*" and "?" match within the last path component, ignoring case as Windows does.
    std::optional<platform::DirectoryEntry> findFirst(const std::string& path) override;
    bool findFirstW(const std::u16string& path) override {
        return findFirst(narrow(path)).has_value();
    }
    std::uint32_t createDirectory(const std::string& path) override {
        return createDirectoryW(widen(path));
    }
    std::uint32_t createDirectoryW(const std::u16string& path) override;
    platform::TempPathResult<std::string> tempPath() override {
        return {static_cast<std::uint32_t>(systemTempPath.size()), narrow(systemTempPath), 0};
    }
    platform::TempPathResult<std::u16string> tempPathW() override {
        return {static_cast<std::uint32_t>(systemTempPath.size()), systemTempPath, 0};
    }
    std::optional<std::string> tempFileName(const std::string& directory, const std::string& prefix,
                                            std::uint32_t& error) override;
    std::unique_ptr<platform::WritableFile> createForWriting(const std::string& path,
                                                             std::uint32_t& error) override;
    bool setCurrentDirectoryW(const std::u16string& path) override;
    std::optional<std::string> readFirstLine(const std::u16string& path,
                                             std::size_t maxChars) override;
    std::unique_ptr<platform::TextReader> openTextForReading(const std::u16string& path) override;
    // Splits at "\n" only: the fake disk holds text as the C runtime's text mode reads it.
    std::vector<std::string> readFirstLines(const std::u16string& path,
                                            std::size_t maxLines) override;

    std::map<std::u16string, FakeFile> files;
    std::set<std::u16string> directories;
    std::set<std::u16string> readOnlyDirectories;
    std::map<std::u16string, std::u16string> longPaths;
    std::map<std::u16string, std::u16string> shortPaths;
    std::map<std::u16string, std::uint64_t> lastWriteTimes;
    std::map<std::u16string, std::uint32_t> deleteErrors; // files that refuse to be deleted
    std::u16string currentDirectory = u"C:\\work";
    std::u16string systemTempPath = u"C:\\Users\\a\\AppData\\Local\\Temp\\";
    int tempFileCounter = 0x1A2B;
    // Writes to files created by createForWriting fail once this many bytes were written.
    std::optional<std::uint64_t> writeLimit;

    // What the logic did.
    std::vector<std::u16string> readOpens;
    std::vector<std::string> findPatterns;
    std::vector<std::string> deleteCalls;
    std::vector<std::string> removeCalls;
    std::vector<std::u16string> currentDirectoryChanges;

private:
    std::optional<std::u16string> existingForm(const std::u16string& path,
                                               const std::map<std::u16string, std::u16string>& map);
    // The names in directory, each with whether it is a directory, in the order of the names.
    std::map<std::u16string, bool> children(const std::u16string& directory) const;
};

// ---------------------------------------------------------------------------------------------

class FakeEnvironment : public platform::Environment {
public:
    std::optional<std::string> get(const std::string& name) override {
        auto it = variables.find(name);
        return it == variables.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::u16string> getW(const std::u16string& name) override {
        std::optional<std::string> value = get(narrow(name));
        return value ? std::optional(widen(*value)) : std::nullopt;
    }
    std::uint32_t set(const std::string& name, const std::string& value) override {
        variables[name] = value;
        return 0;
    }
    // The variables by name.
    std::vector<std::string> block() override;
    std::vector<std::u16string> blockW() override;
    void putRuntimeVariable(const std::string& assignment) override {
        runtimeAssignments.push_back(assignment);
    }
    // The C runtime's copy: runtimeVariables when set there, else the process environment.
    std::optional<std::string> getRuntimeVariable(const std::string& name) override {
        auto it = runtimeVariables.find(name);
        return it == runtimeVariables.end() ? get(name) : std::optional(it->second);
    }
    std::map<std::string, std::string> runtimeVariables;

    std::map<std::string, std::string> variables;
    std::vector<std::string> runtimeAssignments;
};

class FakeProcess : public platform::Process {
public:
    std::u16string commandLine() override { return commandLineText; }
    std::u16string moduleFileName() override { return moduleFile; }
    std::string moduleFileNameA() override {
        return moduleFileA ? *moduleFileA : narrow(moduleFile);
    }
    std::uint32_t startProcess(const std::u16string&) override { return 0; }

    std::u16string commandLineText;
    std::u16string moduleFile;
    std::optional<std::string> moduleFileA; // the narrow form when it differs from moduleFile
    std::vector<int> exitCodes;

protected:
    void exitProcess(int code) override {
        exitCodes.push_back(code);
        throw ExitCalled{code};
    }
};

class FakeUserInterface : public platform::UserInterface {
public:
    struct MessageBoxCall {
        platform::WindowHandle owner;
        std::u16string text;
        std::u16string caption;
        platform::MessageBoxStyle style;
        bool wide; // shown through the W call
    };

    void initCommonControls() override { ++commonControlsInits; }
    platform::MessageBoxAnswer messageBox(platform::WindowHandle owner, const std::string& text,
                                          const std::string& caption,
                                          platform::MessageBoxStyle style) override {
        return record({owner, widen(text), widen(caption), style, false});
    }
    platform::MessageBoxAnswer messageBoxW(platform::WindowHandle owner, const std::u16string& text,
                                           const std::u16string& caption,
                                           platform::MessageBoxStyle style) override {
        return record({owner, text, caption, style, true});
    }

    std::vector<platform::WindowHandle> topLevelWindows() override;
    bool isWindowVisible(platform::WindowHandle window) override { return find(window).visible; }
    std::uint32_t windowProcessId(platform::WindowHandle window) override {
        return find(window).processId;
    }
    bool isMinimized(platform::WindowHandle window) override { return find(window).minimized; }
    void restoreWindow(platform::WindowHandle window) override;
    void setForegroundWindow(platform::WindowHandle window) override;
    platform::WindowHandle lastActivePopup(platform::WindowHandle window) override;
    platform::WindowHandle findWindowByTitle(const std::string& title) override;

    // The desktop's top-level windows in z-order; handles are their positions + 1.
    struct Window {
        std::uint32_t processId = 0;
        bool visible = true;
        bool minimized = false;
        std::string title;
        int popup = -1; // index of the window's last active pop-up, if any
    };
    std::vector<Window> windows;
    std::vector<std::string> windowCalls; // "restore 1", "foreground 2", in order
    std::function<void(const std::string&)> onFindWindow;

    int commonControlsInits = 0;
    std::vector<MessageBoxCall> boxes; // each answered with OK

private:
    platform::MessageBoxAnswer record(MessageBoxCall call) {
        boxes.push_back(std::move(call));
        return platform::MessageBoxAnswer::Ok;
    }
    Window& find(platform::WindowHandle window) {
        return windows.at(reinterpret_cast<std::uintptr_t>(window) - 1);
    }
};

class FakeConsole : public platform::Console {
public:
    void writeError(const std::string& text) override { errorOutput += text; }
    void writeOutput(const std::string& text) override { standardOutput += text; }
    std::uint32_t outputCodePage() override { return consoleCodePage; }
    AttachResult attachParentConsole() override {
        ++attachCalls;
        return attachResult;
    }
    bool allocConsole() override {
        ++allocCalls;
        return allocResult;
    }
    std::optional<std::string> title() override { return consoleTitle; }
    bool setTitle(const std::string& title) override {
        if (!consoleTitle)
            return false;
        titlesSet.push_back(title);
        consoleTitle = title;
        return true;
    }

    std::optional<std::string> consoleTitle; // nullopt: no console
    std::vector<std::string> titlesSet;

    std::string errorOutput; // everything written to standard error, narrowed
    std::string standardOutput;
    std::uint32_t consoleCodePage = 850;
    AttachResult attachResult{true, true, 0};
    bool allocResult = true;
    int attachCalls = 0;
    int allocCalls = 0;
};

class FakeSystem : public platform::System {
public:
    platform::LocalTime localTime() override { return time; }
    void sleep(std::uint32_t milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
        if (onSleep)
            onSleep();
    }
    std::uint32_t userDefaultLcid() override { return lcid; }
    std::optional<std::uint16_t> userDefaultUiLanguage() override { return uiLanguage; }
    std::u16string windowsDirectory() override { return u"C:\\Windows"; }
    std::string windowsDirectoryA() override { return "C:\\Windows"; }
    std::int64_t timeSeconds() override { return seconds; }
    std::uint32_t tickCount() override { return ticks; }
    void seedRandom(std::uint32_t seed) override { randomState = seed; }
    int random() override { return static_cast<int>(++randomState % 32768); }
    std::optional<std::uint32_t> enablePrivilege(const std::string& name) override {
        calls.push_back("privilege " + name);
        return privilegeResult;
    }
    void rebootWindows() override { calls.push_back("reboot"); }

    std::uint32_t lcid = 0x0409;
    std::optional<std::uint16_t> uiLanguage;
    platform::LocalTime time;
    std::optional<std::uint32_t> privilegeResult = 0;
    std::int64_t seconds = 1700000000;
    std::uint32_t ticks = 4000000000u;
    std::uint32_t randomState = 0;
    // The system calls in the order they were made: "sleep 5000", "privilege X", "reboot".
    std::vector<std::string> calls;
    std::function<void()> onSleep; // lets time pass for whatever waits on it
};

class FakeThreads : public platform::Threads {
public:
    std::unique_ptr<platform::Lock> createLock() override;
    // Kept, not run: a test runs a thread's body when it wants to.
    bool startThread(std::function<void()> body) override {
        started.push_back(std::move(body));
        return true;
    }

    std::vector<std::function<void()>> started;
    int leaves = 0;
    int depth = 0; // locks currently held
};

// Latin-1 as the narrow code page: code units above 0xFF have no narrow form.
class FakeCodePage : public platform::CodePage {
public:
    platform::NarrowText toNarrow(const std::u16string& text) override;
    std::u16string toWide(const std::string& text) override { return widen(text); }
};

// Semaphores and mailslots of one machine, shared by every launcher a test starts on it.
class FakeMailslot : public platform::Mailslot {
public:
    // The zero-byte wait answers with waitError while a message is queued (Windows: 122;
    // Wine fails every such wait with 109); an empty queue ends the listener with error 6.
    bool read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
              std::uint32_t& error) override;
    std::optional<std::uint32_t> nextMessageSize(std::uint32_t& error) override;

    std::deque<std::vector<unsigned char>> messages;
    std::uint32_t waitError = 122;
    int emptyAnswers = 0; // nextMessageSize says "no message" this many times first
};

class FakeIpc : public platform::Ipc {
public:
    std::uint32_t currentProcessId() override { return processId; }
    platform::KernelHandle createSemaphore(const std::string& name, std::uint32_t& error) override;
    void closeHandle(platform::KernelHandle) override { semaphoreCalls.push_back("close"); }
    std::unique_ptr<platform::Mailslot> createMailslot(const std::string& name,
                                                       std::uint32_t) override {
        mailslots.insert(name);
        return std::make_unique<FakeMailslot>();
    }
    std::unique_ptr<platform::MailslotWriter> openMailslot(const std::string& name,
                                                           std::uint32_t& error) override;

    std::uint32_t processId = 4242;
    std::set<std::string> semaphores;            // names that exist
    std::optional<std::uint32_t> semaphoreError; // creation fails with this error
    std::vector<std::string> semaphoreCalls;     // "create NAME", "close"
    std::map<std::string, std::vector<std::vector<unsigned char>>> sent; // mailslot -> messages
    std::set<std::string> mailslots;                                     // that can be opened
    int openFailures = 0;         // opens that fail before the mailslot appears
    std::uint32_t writeError = 0; // writes fail with this error when set
    std::uint32_t writeShortBy = 0;
};

// All fakes together, handed to the logic as one platform.
struct FakePlatform {
    FakePlatform() = default;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    platform::Platform& platform() { return platform_; }

    FakeFiles files;
    FakeEnvironment environment;
    FakeProcess process;
    FakeUserInterface ui;
    FakeConsole console;
    FakeSystem system;
    FakeThreads threads;
    FakeCodePage codePage;
    FakeRegistry registry;
    FakePrograms programs{files};
    FakeIpc ipc;
    FakeSplash splash{ui, ipc};

private:
    platform::Platform platform_{files,   environment, process,  ui,       console, system,
                                 threads, codePage,    registry, programs, ipc,     &splash};
};

} // namespace kwn::test
