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

namespace {
// Windows error codes the fake disk answers with.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorAlreadyExists = 183;

// The fake disk's key: no trailing backslash except on "x:\".
std::u16string normalisePath(std::u16string_view path) {
    std::u16string out(path);
    auto isDriveRoot = [](const std::u16string& p) { return p.size() == 3 && p[1] == u':'; };
    while (!out.empty() && out.back() == u'\\' && !isDriveRoot(out))
        out.pop_back();
    if (out.size() == 2 && out[1] == u':')
        out.push_back(u'\\');
    return out;
}

// The directory holding path, or nullopt for a root or a bare name.
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

std::optional<std::string> narrowed(const std::optional<std::u16string>& text) {
    return text ? std::optional<std::string>(narrow(*text)) : std::nullopt;
}

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

// Both kinds of writer append to the file's bytes on the fake disk as they write.
class FakeWriter : public platform::TextFile, public platform::WritableFile {
public:
    FakeWriter(FakeFiles& files, std::u16string path) : files_(files), path_(std::move(path)) {}
    void write(const std::string& text) override {
        bytes().insert(bytes().end(), text.begin(), text.end());
    }
    void flush() override {}
    WriteResult write(const void* data, std::uint32_t count) override {
        std::uint64_t room = files_.writeLimit ? *files_.writeLimit - written_ : count;
        auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, room));
        const auto* in = static_cast<const unsigned char*>(data);
        bytes().insert(bytes().end(), in, in + n);
        written_ += n;
        if (n < count && n == 0)
            return {false, 0, 112}; // ERROR_DISK_FULL
        return {true, n, 0};
    }

private:
    std::vector<unsigned char>& bytes() { return files_.files[path_].bytes; }
    FakeFiles& files_;
    std::u16string path_;
    std::uint64_t written_ = 0;
};

// fgets over text the C runtime's text mode hands over: CR LF pairs arrive as a single "\n".
class FakeTextReader : public platform::TextReader {
public:
    explicit FakeTextReader(const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                text_ += text[i];
    }
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

// Window handles are positions in `windows` plus one, so that no window is null.
platform::WindowHandle handleOf(size_t index) {
    return reinterpret_cast<platform::WindowHandle>(index + 1);
}
std::string handleName(platform::WindowHandle window) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}
} // namespace

// ---------------------------------------------------------------------------------------------

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
    return std::make_unique<FakeReadableFile>(it->second);
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
    return std::make_unique<FakeWriter>(*this, normal);
}

std::optional<bool> FakeFiles::isDirectory(const std::u16string& path) {
    std::u16string normal = normalisePath(path);
    if (directories.contains(normal))
        return true;
    if (files.contains(normal))
        return false;
    return std::nullopt;
}

std::map<std::u16string, bool> FakeFiles::children(const std::u16string& directory) const {
    std::map<std::u16string, bool> found;
    for (const std::u16string& d : directories)
        if (parentPath(d).value_or(u"") == directory)
            found[d.substr(d.rfind(u'\\') + 1)] = true;
    for (const auto& [path, file] : files)
        if (parentPath(path).value_or(u"") == directory)
            found[path.substr(path.rfind(u'\\') + 1)] = false;
    return found;
}

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
    std::vector<platform::DirectoryEntry> entries;
    for (const char16_t* dots : {u".", u".."})
        if (matches(dots))
            entries.push_back({narrow(dots), true});
    for (const auto& [name, isDir] : children(directory))
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
    if (!directories.contains(normal) || !children(normal).empty())
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

std::optional<std::string> FakeFiles::longPathNameA(const std::string& path) {
    return narrowed(longPathName(widen(path)));
}

std::optional<std::string> FakeFiles::shortPathNameA(const std::string& path) {
    return narrowed(shortPathName(widen(path)));
}

std::optional<std::string> FakeFiles::fullPathName(const std::string& path) {
    return narrowed(fullPathNameW(widen(path)));
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

std::optional<platform::DirectoryEntry> FakeFiles::findFirst(const std::string& path) {
    std::u16string wide = widen(path);
    if (wide.empty() || wide.back() == u'\\')
        return std::nullopt; // FindFirstFile finds nothing for a path with a final backslash
    size_t slash = wide.rfind(u'\\');
    std::u16string directory =
        slash == std::u16string::npos ? u"" : normalisePath(wide.substr(0, slash + 1));
    std::u16string pattern = wide.substr(slash == std::u16string::npos ? 0 : slash + 1);
    // Directories first, each kind in the order of their names.
    const std::map<std::u16string, bool> found = children(directory);
    for (bool directoriesNow : {true, false})
        for (const auto& [name, isDir] : found)
            if (isDir == directoriesNow && wildcardMatch(pattern, name)) {
                bool bare = directory.empty() || directory.ends_with(u'\\');
                auto time = lastWriteTimes.find(directory + (bare ? u"" : u"\\") + name);
                return platform::DirectoryEntry{narrow(name), isDir,
                                                time == lastWriteTimes.end() ? 0 : time->second};
            }
    return std::nullopt;
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
    bool creatable = parent && directories.contains(*parent) && !directories.contains(normal);
    error = !creatable                              ? kErrorPathNotFound
            : readOnlyDirectories.contains(*parent) ? kErrorAccessDenied
                                                    : 0;
    if (error)
        return nullptr;
    files[normal] = FakeFile{};
    return std::make_unique<FakeWriter>(*this, normal);
}

bool FakeFiles::setCurrentDirectoryW(const std::u16string& path) {
    currentDirectoryChanges.push_back(path);
    if (!directories.contains(normalisePath(path)))
        return false;
    currentDirectory = normalisePath(path);
    return true;
}

std::optional<std::string> FakeFiles::readFirstLine(const std::u16string& path,
                                                    std::size_t maxChars) {
    std::vector<std::string> lines = readFirstLines(path, 1);
    if (lines.empty())
        return std::nullopt;
    return lines[0].substr(0, maxChars);
}

std::vector<std::string> FakeFiles::readFirstLines(const std::u16string& path,
                                                   std::size_t maxLines) {
    std::vector<std::string> lines;
    std::string content = text(path);
    for (size_t start = 0; start < content.size() && lines.size() < maxLines;) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        lines.push_back(content.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The OS opens a file under any spelling that its full path name resolves to, ignoring case.
std::unique_ptr<platform::TextReader> FakeFiles::openTextForReading(const std::u16string& path) {
    std::u16string full = fullPathNameW(path).value_or(path);
    auto it = std::find_if(files.begin(), files.end(), [&](const auto& file) {
        return std::equal(file.first.begin(), file.first.end(), full.begin(), full.end(),
                          sameLetter);
    });
    if (it == files.end())
        return nullptr;
    return std::make_unique<FakeTextReader>(
        std::string(it->second.bytes.begin(), it->second.bytes.end()));
}

// ---------------------------------------------------------------------------------------------

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
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].title == title)
            return handleOf(i);
    return nullptr;
}

std::unique_ptr<platform::Lock> FakeThreads::createLock() {
    return std::make_unique<CountingLock>(*this);
}

platform::NarrowText FakeCodePage::toNarrow(const std::u16string& text) {
    return {narrow(text),
            std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; })};
}

bool FakeMailslot::read(void* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                        std::uint32_t& error) {
    bytesRead = 0;
    if (messages.empty() || (capacity == 0 && !messages.front().empty())) {
        error = messages.empty() ? 6 : waitError;
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
        error = 6; // ERROR_INVALID_HANDLE: the listener's end
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
    error = semaphores.insert(name).second ? 0 : kErrorAlreadyExists;
    return reinterpret_cast<platform::KernelHandle>(semaphoreCalls.size());
}

std::unique_ptr<platform::MailslotWriter> FakeIpc::openMailslot(const std::string& name,
                                                                std::uint32_t& error) {
    bool appeared = openFailures == 0 || --openFailures < 0;
    if (!appeared || !mailslots.contains(name)) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    return std::make_unique<FakeMailslotWriter>(*this, name);
}

} // namespace kwn::test
