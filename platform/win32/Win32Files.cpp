#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

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

bool Win32Files::deleteFile(const std::string& path) {
    return DeleteFileA(path.c_str());
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
