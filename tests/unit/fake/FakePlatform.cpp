#include "fake/FakePlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kwn::test {

std::optional<int> exitCodeOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const ExitCalled& exit) {
        return exit.code;
    }
    return std::nullopt;
}

std::u16string widen(std::string_view text) {
    std::u16string out;
    for (char c : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string narrow(std::u16string_view text) {
    std::string out;
    for (char16_t unit : text)
        out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return out;
}

// ---------------------------------------------------------------------------------------------

std::u16string normalisePath(std::u16string_view path) {
    std::u16string out(path);
    auto isDriveRoot = [](const std::u16string& p) { return p.size() == 3 && p[1] == u':'; };
    while (!out.empty() && out.back() == u'\\' && !isDriveRoot(out))
        out.pop_back();
    if (out.size() == 2 && out[1] == u':')
        out.push_back(u'\\');
    return out;
}

std::optional<std::u16string> parentPath(std::u16string_view path) {
    std::u16string normal = normalisePath(path);
    size_t slash = normal.rfind(u'\\');
    if (slash == std::u16string::npos)
        return std::nullopt;
    std::u16string parent = normalisePath(normal.substr(0, slash + 1));
    if (parent == normal)
        return std::nullopt;
    return parent;
}

platform::ReadableFile::ReadResult FakeReadableFile::read(void* buffer, std::uint32_t count) {
    int call = calls_++;
    if (failure_ && call >= failure_->fromCall)
        return {false, 0, failure_->error};
    std::int64_t available = std::max<std::int64_t>(0, size() - position_);
    auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(count, available));
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return {true, n, 0};
}

bool FakeReadableFile::seek(std::int64_t position) {
    if (position < 0)
        return false;
    position_ = position; // beyond the end is allowed, as with SetFilePointerEx
    return true;
}

FakeTextFile::~FakeTextFile() {}

void FakeTextFile::write(const std::string& text) {
    std::vector<unsigned char>& bytes = files_.files[path_].bytes;
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void FakeTextFile::flush() {}

void FakeFiles::addDirectory(std::u16string_view path) {
    std::u16string normal = normalisePath(path);
    directories.insert(normal);
    if (std::optional<std::u16string> parent = parentPath(normal))
        addDirectory(*parent);
}

void FakeFiles::addFile(std::u16string_view path, std::vector<unsigned char> bytes) {
    std::u16string normal = normalisePath(path);
    if (std::optional<std::u16string> parent = parentPath(normal))
        addDirectory(*parent);
    files[normal] = FakeFile{std::move(bytes), std::nullopt};
}

void FakeFiles::addFile(std::u16string_view path, std::string_view text) {
    addFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

std::string FakeFiles::text(std::u16string_view path) const {
    auto it = files.find(normalisePath(path));
    if (it == files.end())
        return {};
    return std::string(it->second.bytes.begin(), it->second.bytes.end());
}

std::unique_ptr<platform::ReadableFile> FakeFiles::openForReading(const std::u16string& path) {
    readOpens.push_back(path);
    auto it = files.find(normalisePath(path));
    if (it == files.end())
        return nullptr;
    return std::make_unique<FakeReadableFile>(it->second.bytes, it->second.readFailure);
}

std::unique_ptr<platform::TextFile> FakeFiles::openText(const std::u16string& path,
                                                        platform::TextMode mode) {
    std::u16string normal = normalisePath(path);
    std::optional<std::u16string> parent = parentPath(normal);
    bool ok = !directories.contains(normal) && parent && directories.contains(*parent) &&
              !readOnlyDirectories.contains(*parent) &&
              !(mode == platform::TextMode::CreateNew && files.contains(normal));
    if (!ok)
        return nullptr;
    if (mode == platform::TextMode::Append)
        files[normal]; // created when missing, kept otherwise
    else
        files[normal] = FakeFile{};
    return std::make_unique<FakeTextFile>(*this, normal);
}

std::optional<bool> FakeFiles::isDirectory(const std::u16string& path) {
    std::u16string normal = normalisePath(path);
    if (directories.contains(normal))
        return true;
    if (files.contains(normal))
        return false;
    return std::nullopt;
}

bool FakeFiles::hasChildren(const std::u16string& directory) const {
    auto isChild = [&](const std::u16string& path) { return parentPath(path) == directory; };
    return std::any_of(directories.begin(), directories.end(), isChild) ||
           std::any_of(files.begin(), files.end(), [&](const auto& f) { return isChild(f.first); });
}

namespace {
bool wildcardMatch(std::u16string_view pattern, std::u16string_view name);
} // namespace

std::optional<std::vector<platform::DirectoryEntry>>
FakeFiles::findFiles(const std::string& pattern) {
    findPatterns.push_back(pattern);
    std::u16string wide = widen(pattern);
    size_t slash = wide.rfind(u'\\');
    if (slash == std::u16string::npos)
        return std::nullopt;
    std::u16string directory = normalisePath(wide.substr(0, slash + 1));
    std::u16string namePattern = wide.substr(slash + 1);
    if (!directories.contains(directory))
        return std::nullopt;
    // "*.*" is Windows' "everything", names without a dot included.
    auto matches = [&](std::u16string_view name) {
        return namePattern == u"*.*" || wildcardMatch(namePattern, name);
    };
    // Sorted by name, directories and files mixed, as NTFS enumerates them.
    std::map<std::u16string, bool> children;
    for (const std::u16string& d : directories)
        if (parentPath(d) == directory)
            children[d.substr(d.rfind(u'\\') + 1)] = true;
    for (const auto& [path, file] : files)
        if (parentPath(path) == directory)
            children[path.substr(path.rfind(u'\\') + 1)] = false;
    std::vector<platform::DirectoryEntry> entries;
    for (const char16_t* dots : {u".", u".."})
        if (matches(dots))
            entries.push_back({narrow(dots), true});
    for (const auto& [name, isDir] : children)
        if (matches(name))
            entries.push_back({narrow(name), isDir});
    if (entries.empty())
        return std::nullopt; // FindFirstFile fails when nothing matches
    return entries;
}

bool FakeFiles::deleteFile(const std::string& path, std::uint32_t& error) {
    deleteCalls.push_back(path);
    std::u16string normal = normalisePath(widen(path));
    if (auto refusal = deleteErrors.find(normal); refusal != deleteErrors.end())
        error = refusal->second;
    else
        error = files.erase(normal) == 1 ? 0 : kErrorFileNotFound;
    return error == 0;
}

bool FakeFiles::removeDirectory(const std::string& path) {
    removeCalls.push_back(path);
    std::u16string normal = normalisePath(widen(path));
    if (!directories.contains(normal) || hasChildren(normal))
        return false;
    directories.erase(normal);
    return true;
}

std::optional<std::u16string>
FakeFiles::existingForm(const std::u16string& path,
                        const std::map<std::u16string, std::u16string>& map) {
    if (auto it = map.find(path); it != map.end())
        return it->second;
    if (isDirectory(path).has_value())
        return path;
    return std::nullopt; // the Windows calls fail for paths that do not exist
}

std::optional<std::u16string> FakeFiles::longPathName(const std::u16string& path) {
    return existingForm(path, longPaths);
}

std::optional<std::u16string> FakeFiles::shortPathName(const std::u16string& path) {
    return existingForm(path, shortPaths);
}

// ---------------------------------------------------------------------------------------------

std::optional<std::string> FakeEnvironment::get(const std::string& name) {
    auto it = variables.find(name);
    if (it == variables.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::u16string> FakeEnvironment::getW(const std::u16string& name) {
    std::optional<std::string> value = get(narrow(name));
    if (!value)
        return std::nullopt;
    return widen(*value);
}

std::uint32_t FakeEnvironment::set(const std::string& name, const std::string& value) {
    variables[name] = value;
    return 0;
}

void FakeProcess::exitProcess(int code) {
    exitCodes.push_back(code);
    throw ExitCalled{code};
}

platform::MessageBoxAnswer FakeUserInterface::record(MessageBoxCall call) {
    boxes.push_back(std::move(call));
    return platform::MessageBoxAnswer::Ok;
}

platform::MessageBoxAnswer FakeUserInterface::messageBox(platform::WindowHandle owner,
                                                         const std::string& text,
                                                         const std::string& caption,
                                                         platform::MessageBoxStyle style) {
    return record({owner, widen(text), widen(caption), style, false});
}

platform::MessageBoxAnswer FakeUserInterface::messageBoxW(platform::WindowHandle owner,
                                                          const std::u16string& text,
                                                          const std::u16string& caption,
                                                          platform::MessageBoxStyle style) {
    return record({owner, text, caption, style, true});
}

void FakeConsole::writeError(const std::string& text) {
    errorOutput += text;
}

platform::Console::AttachResult FakeConsole::attachParentConsole() {
    ++attachCalls;
    return attachResult;
}

bool FakeConsole::allocConsole() {
    ++allocCalls;
    return allocResult;
}

bool FakeConsole::setTitle(const std::string& title) {
    if (!consoleTitle)
        return false;
    titlesSet.push_back(title);
    consoleTitle = title;
    return true;
}

// Window handles are positions in `windows` plus one, so that no window is null.
FakeUserInterface::Window& FakeUserInterface::find(platform::WindowHandle window) {
    return windows.at(reinterpret_cast<std::uintptr_t>(window) - 1);
}

namespace {
platform::WindowHandle handleOf(size_t index) {
    return reinterpret_cast<platform::WindowHandle>(index + 1);
}
std::string handleName(platform::WindowHandle window) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}
} // namespace

std::vector<platform::WindowHandle> FakeUserInterface::topLevelWindows() {
    std::vector<platform::WindowHandle> handles;
    for (size_t i = 0; i < windows.size(); ++i)
        handles.push_back(handleOf(i));
    return handles;
}

void FakeUserInterface::restoreWindow(platform::WindowHandle window) {
    find(window).minimized = false;
    windowCalls.push_back("restore " + handleName(window));
}

void FakeUserInterface::setForegroundWindow(platform::WindowHandle window) {
    windowCalls.push_back("foreground " + handleName(window));
}

platform::WindowHandle FakeUserInterface::lastActivePopup(platform::WindowHandle window) {
    int popup = find(window).popup;
    return popup < 0 ? window : handleOf(static_cast<size_t>(popup));
}

platform::WindowHandle FakeUserInterface::findWindowByTitle(const std::string& title) {
    if (onFindWindow)
        onFindWindow(title);
    for (size_t i = 0; i < windows.size(); ++i) {
        if (windows[i].title == title)
            return handleOf(i);
    }
    return nullptr;
}

void FakeSystem::sleep(std::uint32_t milliseconds) {
    calls.push_back("sleep " + std::to_string(milliseconds));
    if (onSleep)
        onSleep();
}

std::optional<std::uint32_t> FakeSystem::enablePrivilege(const std::string& name) {
    calls.push_back("privilege " + name);
    return privilegeResult;
}

void FakeSystem::rebootWindows() {
    calls.push_back("reboot");
}

namespace {
class CountingLock : public platform::Lock {
public:
    explicit CountingLock(FakeThreads& threads) : threads_(threads) {}
    void enter() override { ++threads_.depth; }
    void leave() override {
        ++threads_.leaves;
        --threads_.depth;
    }

private:
    FakeThreads& threads_;
};
} // namespace

std::unique_ptr<platform::Lock> FakeThreads::createLock() {
    return std::make_unique<CountingLock>(*this);
}

bool FakeThreads::startThread(std::function<void()> body) {
    started.push_back(std::move(body));
    return true;
}

bool FakeMailslot::read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                        std::uint32_t& error) {
    bytesRead = 0;
    if (messages.empty()) {
        error = endError;
        return false;
    }
    if (capacity == 0 && !messages.front().empty()) {
        error = waitError;
        return false;
    }
    std::vector<unsigned char> message = std::move(messages.front());
    messages.pop_front();
    bytesRead = static_cast<std::uint32_t>(std::min<size_t>(message.size(), capacity));
    if (bytesRead > 0) // an empty message has no data pointer to copy from
        std::memcpy(buffer, message.data(), bytesRead);
    return true;
}

std::optional<std::uint32_t> FakeMailslot::nextMessageSize(std::uint32_t& error) {
    if (emptyAnswers > 0) {
        --emptyAnswers;
        return kNoMessage;
    }
    if (messages.empty()) {
        error = endError;
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(messages.front().size());
}

platform::KernelHandle FakeIpc::createSemaphore(const std::string& name, std::uint32_t& error) {
    semaphoreCalls.push_back("create " + name);
    if (semaphoreError) {
        error = *semaphoreError;
        return nullptr;
    }
    error = semaphores.insert(name).second ? 0 : 183;
    return reinterpret_cast<platform::KernelHandle>(semaphoreCalls.size());
}

void FakeIpc::closeHandle(platform::KernelHandle) {
    semaphoreCalls.push_back("close");
}

std::unique_ptr<platform::Mailslot> FakeIpc::createMailslot(const std::string& name,
                                                            std::uint32_t) {
    mailslots.insert(name);
    return std::make_unique<FakeMailslot>();
}

namespace {
class FakeMailslotWriter : public platform::MailslotWriter {
public:
    FakeMailslotWriter(FakeIpc& ipc, std::string name) : ipc_(ipc), name_(std::move(name)) {}
    bool write(const void* bytes, std::uint32_t count, std::uint32_t& written,
               std::uint32_t& error) override {
        if (ipc_.writeError) {
            error = ipc_.writeError;
            return false;
        }
        written = count - ipc_.writeShortBy;
        const auto* begin = static_cast<const unsigned char*>(bytes);
        ipc_.sent[name_].emplace_back(begin, begin + written);
        return true;
    }

private:
    FakeIpc& ipc_;
    std::string name_;
};
} // namespace

std::unique_ptr<platform::MailslotWriter> FakeIpc::openMailslot(const std::string& name,
                                                                std::uint32_t& error) {
    bool appeared = openFailures == 0 || --openFailures < 0;
    if (!appeared || !mailslots.contains(name)) {
        error = 2; // ERROR_FILE_NOT_FOUND
        return nullptr;
    }
    return std::make_unique<FakeMailslotWriter>(*this, name);
}

} // namespace kwn::test

namespace kwn::test {

namespace {
bool sameLetter(char16_t a, char16_t b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    return lower(a) == lower(b);
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty())
        return name.empty();
    if (pattern[0] == u'*')
        return wildcardMatch(pattern.substr(1), name) ||
               (!name.empty() && wildcardMatch(pattern, name.substr(1)));
    return !name.empty() && (pattern[0] == u'?' || sameLetter(pattern[0], name[0])) &&
           wildcardMatch(pattern.substr(1), name.substr(1));
}

std::u16string resolveDots(const std::u16string& absolute) {
    // absolute starts with a drive ("C:\") or a UNC pair; resolve the rest component-wise.
    size_t rootEnd = absolute.starts_with(u"\\\\") ? 2 : 3;
    std::u16string root = absolute.substr(0, rootEnd);
    std::vector<std::u16string> parts;
    size_t start = rootEnd;
    while (start <= absolute.size()) {
        size_t slash = absolute.find(u'\\', start);
        std::u16string part =
            absolute.substr(start, slash == std::u16string::npos ? slash : slash - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (part != u"." && !part.empty()) {
            // An inner component loses one trailing dot, as Windows normalises it.
            if (slash != std::u16string::npos && part.ends_with(u'.'))
                part.pop_back();
            parts.push_back(part);
        }
        if (slash == std::u16string::npos)
            break;
        start = slash + 1;
    }
    std::u16string out = root;
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? u"\\" : u"") + parts[i];
    if (absolute.ends_with(u"\\") && !parts.empty())
        out += u'\\';
    return out;
}

class FakeWritableFile : public platform::WritableFile {
public:
    FakeWritableFile(FakeFiles& files, std::u16string path)
        : files_(files), path_(std::move(path)) {}
    WriteResult write(const void* data, std::uint32_t count) override {
        std::vector<unsigned char>& bytes = files_.files[path_].bytes;
        std::uint64_t room = files_.writeLimit ? *files_.writeLimit - written_ : count;
        auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, room));
        const auto* in = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), in, in + n);
        written_ += n;
        if (n < count && n == 0)
            return {false, 0, 112}; // ERROR_DISK_FULL
        return {true, n, 0};
    }

private:
    FakeFiles& files_;
    std::u16string path_;
    std::uint64_t written_ = 0;
};
} // namespace

std::optional<std::string> FakeFiles::longPathNameA(const std::string& path) {
    std::optional<std::u16string> result = longPathName(widen(path));
    return result ? std::optional<std::string>(narrow(*result)) : std::nullopt;
}

std::optional<std::string> FakeFiles::shortPathNameA(const std::string& path) {
    std::optional<std::u16string> result = shortPathName(widen(path));
    return result ? std::optional<std::string>(narrow(*result)) : std::nullopt;
}

std::optional<std::u16string> FakeFiles::fullPathNameW(const std::u16string& given) {
    if (given.empty())
        return std::nullopt;
    std::u16string path = given;
    std::replace(path.begin(), path.end(), u'/', u'\\');
    std::u16string absolute;
    if (path.starts_with(u"\\\\") || (path.size() >= 3 && path[1] == u':' && path[2] == u'\\'))
        absolute = path;
    else if (path[0] == u'\\')
        absolute = currentDirectory.substr(0, 2) + path;
    else
        absolute = normalisePath(currentDirectory) + u"\\" + path;
    std::u16string full = resolveDots(absolute);
    // Windows drops trailing dots and blanks from the last component.
    if (!path.ends_with(u'\\'))
        while (full.size() > 3 && (full.back() == u'.' || full.back() == u' '))
            full.pop_back();
    return full;
}

std::optional<std::string> FakeFiles::fullPathName(const std::string& path) {
    std::optional<std::u16string> result = fullPathNameW(widen(path));
    return result ? std::optional<std::string>(narrow(*result)) : std::nullopt;
}

std::optional<platform::DirectoryEntry> FakeFiles::findFirst(const std::string& path) {
    findFirstPaths.push_back(path);
    std::u16string wide = widen(path);
    if (wide.empty() || wide.back() == u'\\')
        return std::nullopt; // FindFirstFile finds nothing for a path with a final backslash
    size_t slash = wide.rfind(u'\\');
    std::u16string directory =
        slash == std::u16string::npos ? u"" : normalisePath(wide.substr(0, slash + 1));
    std::u16string pattern = wide.substr(slash == std::u16string::npos ? 0 : slash + 1);
    auto consider = [&](const std::u16string& candidate,
                        bool isDir) -> std::optional<platform::DirectoryEntry> {
        if (parentPath(candidate).value_or(u"") != directory)
            return std::nullopt;
        std::u16string name = candidate.substr(candidate.rfind(u'\\') + 1);
        if (!wildcardMatch(pattern, name))
            return std::nullopt;
        auto time = lastWriteTimes.find(candidate);
        return platform::DirectoryEntry{narrow(name), isDir,
                                        time == lastWriteTimes.end() ? 0 : time->second};
    };
    for (const std::u16string& d : directories)
        if (auto entry = consider(d, true))
            return entry;
    for (const auto& [name, file] : files)
        if (auto entry = consider(name, false))
            return entry;
    return std::nullopt;
}

bool FakeFiles::findFirstW(const std::u16string& path) {
    return findFirst(narrow(path)).has_value();
}

std::uint32_t FakeFiles::createDirectoryW(const std::u16string& path) {
    std::u16string normal = normalisePath(path);
    if (directories.contains(normal) || files.contains(normal))
        return kErrorAlreadyExists;
    std::optional<std::u16string> parent = parentPath(normal);
    if (!parent || !directories.contains(*parent))
        return kErrorPathNotFound;
    if (readOnlyDirectories.contains(*parent))
        return kErrorAccessDenied;
    directories.insert(normal);
    return 0;
}

std::uint32_t FakeFiles::createDirectory(const std::string& path) {
    return createDirectoryW(widen(path));
}

bool FakeFiles::removeDirectoryW(const std::u16string& path) {
    return removeDirectory(narrow(path));
}

platform::TempPathResult<std::u16string> FakeFiles::tempPathW() {
    return {static_cast<std::uint32_t>(systemTempPath.size()), systemTempPath, 0};
}

platform::TempPathResult<std::string> FakeFiles::tempPath() {
    return {static_cast<std::uint32_t>(systemTempPath.size()), narrow(systemTempPath), 0};
}

std::optional<std::string> FakeFiles::tempFileName(const std::string& directory,
                                                   const std::string& prefix,
                                                   std::uint32_t& error) {
    std::u16string dir = normalisePath(widen(directory));
    if (!directories.contains(dir) || readOnlyDirectories.contains(dir)) {
        error = directories.contains(dir) ? kErrorAccessDenied : kErrorPathNotFound;
        return std::nullopt;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", tempFileCounter++ & 0xFFFF);
    std::u16string name =
        dir + (dir.ends_with(u"\\") ? u"" : u"\\") + widen(prefix) + widen(hex) + u".tmp";
    files[name] = FakeFile{};
    error = 0;
    return narrow(name);
}

std::unique_ptr<platform::WritableFile> FakeFiles::createForWriting(const std::string& path,
                                                                    std::uint32_t& error) {
    std::u16string normal = normalisePath(widen(path));
    std::optional<std::u16string> parent = parentPath(normal);
    if (!parent || !directories.contains(*parent) || directories.contains(normal)) {
        error = kErrorPathNotFound;
        return nullptr;
    }
    if (readOnlyDirectories.contains(*parent)) {
        error = kErrorAccessDenied;
        return nullptr;
    }
    files[normal] = FakeFile{};
    error = 0;
    return std::make_unique<FakeWritableFile>(*this, normal);
}

bool FakeFiles::setCurrentDirectoryW(const std::u16string& path) {
    currentDirectoryChanges.push_back(path);
    if (!directories.contains(normalisePath(path)))
        return false;
    currentDirectory = normalisePath(path);
    return true;
}

std::vector<std::string> FakeEnvironment::block() {
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<std::u16string> FakeEnvironment::blockW() {
    std::vector<std::u16string> entries;
    for (const std::string& entry : block())
        entries.push_back(widen(entry));
    return entries;
}

void FakeEnvironment::putRuntimeVariable(const std::string& assignment) {
    runtimeAssignments.push_back(assignment);
}

platform::NarrowText FakeCodePage::toNarrow(const std::u16string& text) {
    platform::NarrowText result{narrow(text), false};
    result.usedDefaultCharacter =
        std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    return result;
}

} // namespace kwn::test

namespace kwn::test {

std::optional<std::string> FakeFiles::readFirstLine(const std::u16string& path,
                                                    std::size_t maxChars) {
    auto it = files.find(normalisePath(path));
    if (it == files.end() || it->second.bytes.empty())
        return std::nullopt;
    std::string text(it->second.bytes.begin(), it->second.bytes.end());
    size_t end = text.find('\n');
    std::string line = text.substr(0, end == std::string::npos ? end : end + 1);
    return line.substr(0, maxChars);
}

std::vector<std::string> FakeFiles::readFirstLines(const std::u16string& path,
                                                   std::size_t maxLines) {
    std::vector<std::string> lines;
    auto it = files.find(normalisePath(path));
    if (it == files.end())
        return lines;
    std::string text(it->second.bytes.begin(), it->second.bytes.end());
    for (size_t start = 0; start < text.size() && lines.size() < maxLines;) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

} // namespace kwn::test

namespace kwn::test {

namespace {
class FakeTextReader : public platform::TextReader {
public:
    explicit FakeTextReader(std::string text) : text_(std::move(text)) {}
    std::optional<std::string> readLine(std::size_t maxChars) override {
        if (position_ >= text_.size())
            return std::nullopt;
        size_t end = text_.find('\n', position_);
        size_t length = end == std::string::npos ? text_.size() - position_ : end + 1 - position_;
        length = std::min(length, maxChars);
        std::string piece = text_.substr(position_, length);
        position_ += length;
        return piece;
    }

private:
    std::string text_;
    size_t position_ = 0;
};

// Text mode: CR LF pairs arrive as a single line feed.
std::string withoutCarriageReturns(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}
} // namespace

// The OS opens a file under any spelling that its full path name resolves to, ignoring case.
std::unique_ptr<platform::TextReader> FakeFiles::openTextForReading(const std::u16string& path) {
    std::u16string full = fullPathNameW(path).value_or(path);
    auto it = std::find_if(files.begin(), files.end(), [&](const auto& file) {
        return std::equal(file.first.begin(), file.first.end(), full.begin(), full.end(),
                          sameLetter);
    });
    if (it == files.end())
        return nullptr;
    std::string text(it->second.bytes.begin(), it->second.bytes.end());
    return std::make_unique<FakeTextReader>(withoutCarriageReturns(text));
}

std::optional<std::string> FakeEnvironment::getRuntimeVariable(const std::string& name) {
    if (auto it = runtimeVariables.find(name); it != runtimeVariables.end())
        return it->second;
    return get(name);
}

} // namespace kwn::test
