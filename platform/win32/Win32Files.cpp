#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <utility>

namespace kwn::platform::win32 {

namespace {
class Win32ReadableFile : public ReadableFile {
public:
    explicit Win32ReadableFile(HANDLE handle) : handle_(handle) {}
    ~Win32ReadableFile() override { CloseHandle(handle_); }
    Win32ReadableFile(const Win32ReadableFile&) = delete;
    Win32ReadableFile& operator=(const Win32ReadableFile&) = delete;

    ReadResult read(void* buffer, std::uint32_t count) override {
        DWORD got = 0;
        BOOL ok = ReadFile(handle_, buffer, count, &got, nullptr);
        return {ok != FALSE, got, ok ? 0u : static_cast<std::uint32_t>(GetLastError())};
    }
    bool seek(std::int64_t position) override {
        LARGE_INTEGER distance;
        distance.QuadPart = position;
        return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != FALSE;
    }
    std::int64_t size() override {
        LARGE_INTEGER size;
        return GetFileSizeEx(handle_, &size) ? size.QuadPart : -1;
    }

private:
    HANDLE handle_;
};

class Win32TextFile : public TextFile {
public:
    explicit Win32TextFile(FILE* stream) : stream_(stream) {}
    ~Win32TextFile() override { std::fclose(stream_); }
    Win32TextFile(const Win32TextFile&) = delete;
    Win32TextFile& operator=(const Win32TextFile&) = delete;

    void write(const std::string& text) override {
        std::fwrite(text.data(), 1, text.size(), stream_);
    }
    void flush() override { std::fflush(stream_); }

private:
    FILE* stream_;
};

std::optional<std::u16string> pathQuery(DWORD(WINAPI* query)(LPCWSTR, LPWSTR, DWORD),
                                        const std::u16string& path) {
    DWORD needed = query(wide(path), nullptr, 0);
    if (needed == 0)
        return std::nullopt;
    std::wstring buffer(needed, L'\0');
    DWORD length = query(wide(path), buffer.data(), needed);
    if (length == 0 || length >= needed)
        return std::nullopt;
    return fromWide(buffer.c_str(), length);
}
} // namespace

std::unique_ptr<ReadableFile> Win32Files::openForReading(const std::u16string& path) {
    HANDLE handle = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32ReadableFile>(handle);
}

namespace {
// The C runtime has no exclusive-create mode, so the file is created with CreateFileW and then
// handed to a text-mode stream.
FILE* createNewText(const std::u16string& path) {
    HANDLE handle = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT | _O_WRONLY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "w");
    if (!stream)
        _close(descriptor);
    return stream;
}
} // namespace

std::unique_ptr<TextFile> Win32Files::openText(const std::u16string& path, TextMode mode) {
    FILE* stream = mode == TextMode::CreateNew ? createNewText(path)
                   : mode == TextMode::Append  ? _wfopen(wide(path), L"a")
                                               : _wfopen(wide(path), L"w");
    if (!stream)
        return nullptr;
    return std::make_unique<Win32TextFile>(stream);
}

std::optional<bool> Win32Files::isDirectory(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::vector<DirectoryEntry>> Win32Files::findFiles(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<DirectoryEntry> entries;
    do {
        entries.push_back(
            {data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

bool Win32Files::deleteFile(const std::string& path, std::uint32_t& error) {
    bool deleted = DeleteFileA(path.c_str());
    error = deleted ? 0 : GetLastError();
    return deleted;
}

bool Win32Files::removeDirectory(const std::string& path) {
    return RemoveDirectoryA(path.c_str());
}

std::optional<std::u16string> Win32Files::longPathName(const std::u16string& path) {
    return pathQuery(GetLongPathNameW, path);
}

std::optional<std::u16string> Win32Files::shortPathName(const std::u16string& path) {
    return pathQuery(GetShortPathNameW, path);
}

} // namespace kwn::platform::win32

namespace kwn::platform::win32 {

namespace {
class Win32WritableFile : public WritableFile {
public:
    explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}
    ~Win32WritableFile() override { CloseHandle(handle_); }
    Win32WritableFile(const Win32WritableFile&) = delete;
    Win32WritableFile& operator=(const Win32WritableFile&) = delete;

    WriteResult write(const void* data, std::uint32_t count) override {
        DWORD written = 0;
        BOOL ok = WriteFile(handle_, data, count, &written, nullptr);
        return {ok != FALSE, written, ok ? 0u : static_cast<std::uint32_t>(GetLastError())};
    }

private:
    HANDLE handle_;
};

std::optional<std::string> pathQueryA(DWORD(WINAPI* query)(LPCSTR, LPSTR, DWORD),
                                      const std::string& path) {
    DWORD needed = query(path.c_str(), nullptr, 0);
    if (needed == 0)
        return std::nullopt;
    std::string buffer(needed, '\0');
    DWORD length = query(path.c_str(), buffer.data(), needed);
    if (length == 0 || length >= needed)
        return std::nullopt;
    buffer.resize(length);
    return buffer;
}

std::uint64_t fileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint32_t errorOf(BOOL ok) {
    return ok ? 0u : static_cast<std::uint32_t>(GetLastError());
}
} // namespace

std::optional<std::string> Win32Files::longPathNameA(const std::string& path) {
    return pathQueryA(GetLongPathNameA, path);
}

std::optional<std::string> Win32Files::shortPathNameA(const std::string& path) {
    return pathQueryA(GetShortPathNameA, path);
}

std::optional<std::string> Win32Files::fullPathName(const std::string& path) {
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::nullopt;
    std::string buffer(needed, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed)
        return std::nullopt;
    buffer.resize(length);
    return buffer;
}

std::optional<std::u16string> Win32Files::fullPathNameW(const std::u16string& path) {
    DWORD needed = GetFullPathNameW(wide(path), 0, nullptr, nullptr);
    if (needed == 0)
        return std::nullopt;
    std::wstring buffer(needed, L'\0');
    DWORD length = GetFullPathNameW(wide(path), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed)
        return std::nullopt;
    return fromWide(buffer.c_str(), length);
}

std::optional<DirectoryEntry> Win32Files::findFirst(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FindClose(find);
    return DirectoryEntry{data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                          fileTime(data.ftLastWriteTime)};
}

bool Win32Files::findFirstW(const std::u16string& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(path), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

std::uint32_t Win32Files::createDirectory(const std::string& path) {
    return errorOf(CreateDirectoryA(path.c_str(), nullptr));
}

std::uint32_t Win32Files::createDirectoryW(const std::u16string& path) {
    return errorOf(CreateDirectoryW(wide(path), nullptr));
}

bool Win32Files::removeDirectoryW(const std::u16string& path) {
    return RemoveDirectoryW(wide(path));
}

namespace {
// A temp path longer than the buffer is answered with the size it needs (its zero included), so
// the buffer grows until the path fits; a long path is a path, not an absent one.
template <class Char>
TempPathResult<std::basic_string<Char>> queryTempPath(DWORD(WINAPI* query)(DWORD, Char*)) {
    TempPathResult<std::basic_string<Char>> result;
    std::basic_string<Char> buffer(MAX_PATH + 1, Char());
    for (;;) {
        result.length = query(static_cast<DWORD>(buffer.size()), buffer.data());
        result.error = GetLastError();
        if (result.length < buffer.size())
            break;
        buffer.resize(result.length);
    }
    buffer.resize(result.length);
    result.path = std::move(buffer);
    return result;
}
} // namespace

TempPathResult<std::string> Win32Files::tempPath() {
    return queryTempPath<char>(GetTempPathA);
}

TempPathResult<std::u16string> Win32Files::tempPathW() {
    TempPathResult<std::wstring> wide = queryTempPath<wchar_t>(GetTempPathW);
    return {wide.length, fromWide(wide.path.c_str(), wide.path.size()), wide.error};
}

std::optional<std::string> Win32Files::tempFileName(const std::string& directory,
                                                    const std::string& prefix,
                                                    std::uint32_t& error) {
    char name[MAX_PATH + 1] = {};
    if (GetTempFileNameA(directory.c_str(), prefix.c_str(), 0, name) == 0) {
        error = GetLastError();
        return std::nullopt;
    }
    error = 0;
    return std::string(name);
}

std::unique_ptr<WritableFile> Win32Files::createForWriting(const std::string& path,
                                                           std::uint32_t& error) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32WritableFile>(handle);
}

bool Win32Files::setCurrentDirectoryW(const std::u16string& path) {
    return SetCurrentDirectoryW(wide(path));
}

std::optional<std::string> Win32Files::readFirstLine(const std::u16string& path,
                                                     std::size_t maxChars) {
    FILE* stream = _wfopen(wide(path), L"r");
    if (!stream)
        return std::nullopt;
    std::string line(maxChars + 1, '\0');
    bool read = std::fgets(line.data(), static_cast<int>(line.size()), stream) != nullptr;
    std::fclose(stream);
    if (!read)
        return std::nullopt;
    line.resize(std::strlen(line.c_str()));
    return line;
}

// Whole lines however long they are: a line ends at its "\n" or at the end of the file.
std::vector<std::string> Win32Files::readFirstLines(const std::u16string& path,
                                                    std::size_t maxLines) {
    std::vector<std::string> lines;
    FILE* stream = _wfopen(wide(path), L"r");
    if (!stream)
        return lines;
    std::string line;
    for (int c; lines.size() < maxLines && (c = std::getc(stream)) != EOF;) {
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            lines.push_back(std::exchange(line, std::string()));
    }
    if (!line.empty())
        lines.push_back(line);
    std::fclose(stream);
    return lines;
}

namespace {
class Win32TextReader : public TextReader {
public:
    explicit Win32TextReader(FILE* stream) : stream_(stream) {}
    ~Win32TextReader() override { std::fclose(stream_); }
    Win32TextReader(const Win32TextReader&) = delete;
    Win32TextReader& operator=(const Win32TextReader&) = delete;

    std::optional<std::string> readLine(std::size_t maxChars) override {
        std::string line(maxChars + 1, '\0');
        if (!std::fgets(line.data(), static_cast<int>(line.size()), stream_))
            return std::nullopt;
        line.resize(std::strlen(line.c_str()));
        return line;
    }

private:
    FILE* stream_;
};
} // namespace

std::unique_ptr<TextReader> Win32Files::openTextForReading(const std::u16string& path) {
    FILE* stream = _wfopen(wide(path), L"rt");
    if (!stream)
        return nullptr;
    return std::make_unique<Win32TextReader>(stream);
}

} // namespace kwn::platform::win32
