#pragma once
// File-system services the launcher logic needs, each as thin as the Windows call behind it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kwn::platform {

// A file opened for binary reading (CreateFileW / ReadFile / SetFilePointer).
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    struct ReadResult {
        bool ok = false; // ReadFile's own result
        std::uint32_t bytesRead = 0;
        std::uint32_t error = 0; // GetLastError after the call
    };
    virtual ReadResult read(void* buffer, std::uint32_t count) = 0;
    virtual bool seek(std::int64_t position) = 0;
    virtual std::int64_t size() = 0; // -1 when unknown
};

// A C runtime text stream: "\n" becomes CR LF on Windows. Closed when destroyed.
class TextFile {
public:
    virtual ~TextFile() = default;
    virtual void write(const std::string& text) = 0;
    virtual void flush() = 0;
};

// A C runtime stream opened for reading in text mode ("rt"): CR LF arrives as "\n".
class TextReader {
public:
    virtual ~TextReader() = default;
    // fgets with a buffer of maxChars + 1: the next piece of at most maxChars characters, with
    // its "\n" when the line ended within it; nullopt at the end of the file.
    virtual std::optional<std::string> readLine(std::size_t maxChars) = 0;
};

// CreateNew fails when the file exists already, so that two processes never share a name.
// A file created for binary writing (CreateFileA / WriteFile).
class WritableFile {
public:
    virtual ~WritableFile() = default;
    struct WriteResult {
        bool ok = false;
        std::uint32_t bytesWritten = 0;
        std::uint32_t error = 0;
    };
    virtual WriteResult write(const void* data, std::uint32_t count) = 0;
};

enum class TextMode { Write, Append, CreateNew };

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    std::uint64_t lastWriteTime = 0; // FILETIME as one 64-bit number
};

template <class String> struct TempPathResult {
    std::uint32_t length = 0; // GetTempPath's return value
    String path;
    std::uint32_t error = 0;
};

class Files {
public:
    virtual ~Files() = default;
    // CreateFileW(GENERIC_READ, share read|write, OPEN_EXISTING); null on failure.
    virtual std::unique_ptr<ReadableFile> openForReading(const std::u16string& path) = 0;
    // _wfopen in text mode; null on failure.
    virtual std::unique_ptr<TextFile> openText(const std::u16string& path, TextMode mode) = 0;
    // GetFileAttributesW: nullopt when nothing exists at path, else whether it is a directory.
    virtual std::optional<bool> isDirectory(const std::u16string& path) = 0;
    // FindFirstFileA / FindNextFileA over a pattern; nullopt when the enumeration cannot start.
    virtual std::optional<std::vector<DirectoryEntry>> findFiles(const std::string& pattern) = 0;
    // DeleteFileA; error gets GetLastError when it fails, 0 otherwise.
    virtual bool deleteFile(const std::string& path, std::uint32_t& error) = 0;
    bool deleteFile(const std::string& path) {
        std::uint32_t ignored = 0;
        return deleteFile(path, ignored);
    }
    virtual bool removeDirectory(const std::string& path) = 0;
    // GetLongPathNameW / GetShortPathNameW; nullopt on failure.
    virtual std::optional<std::u16string> longPathName(const std::u16string& path) = 0;
    virtual std::optional<std::u16string> shortPathName(const std::u16string& path) = 0;
    virtual std::optional<std::string> longPathNameA(const std::string& path) = 0;
    virtual std::optional<std::string> shortPathNameA(const std::string& path) = 0;
    // GetFullPathNameA / GetFullPathNameW, which resolve "." and ".."; nullopt on failure.
    virtual std::optional<std::string> fullPathName(const std::string& path) = 0;
    virtual std::optional<std::u16string> fullPathNameW(const std::u16string& path) = 0;
    // FindFirstFileA / FindFirstFileW on one path; the handle is closed at once.
    virtual std::optional<DirectoryEntry> findFirst(const std::string& path) = 0;
    virtual bool findFirstW(const std::u16string& path) = 0;
    // CreateDirectoryA / CreateDirectoryW: 0 on success, else GetLastError.
    virtual std::uint32_t createDirectory(const std::string& path) = 0;
    virtual std::uint32_t createDirectoryW(const std::u16string& path) = 0;
    virtual bool removeDirectoryW(const std::u16string& path) = 0;
    virtual TempPathResult<std::string> tempPath() = 0;     // GetTempPathA
    virtual TempPathResult<std::u16string> tempPathW() = 0; // GetTempPathW
    // GetTempFileNameA(directory, prefix, 0), which creates the file; the error on failure.
    virtual std::optional<std::string>
    tempFileName(const std::string& directory, const std::string& prefix, std::uint32_t& error) = 0;
    // CreateFileA(GENERIC_WRITE, no sharing, CREATE_ALWAYS); null with the error on failure.
    virtual std::unique_ptr<WritableFile> createForWriting(const std::string& path,
                                                           std::uint32_t& error) = 0;
    virtual bool setCurrentDirectoryW(const std::u16string& path) = 0;
    // _wfopen(path, "r") and one fgets of at most maxChars characters: the first line with its
    // "\n" when the line fits; nullopt when the file cannot be opened or is empty.
    virtual std::optional<std::string> readFirstLine(const std::u16string& path,
                                                     std::size_t maxChars) = 0;
    // _wfopen(path, "r") and whole lines read up to maxLines, each with its "\n" when it has
    // one; empty when the file cannot be opened or is empty.
    // _wfopen(path, "rt"); null when it cannot be opened.
    virtual std::unique_ptr<TextReader> openTextForReading(const std::u16string& path) = 0;
    virtual std::vector<std::string> readFirstLines(const std::u16string& path,
                                                    std::size_t maxLines) = 0;
};

} // namespace kwn::platform
