#pragma once
// Little-endian reads from the launcher's own file, through a buffer rather than one ReadFile
// per field. A short or failed read records the text the user sees, named after the primitive
// that failed; from then on every read gives zero or empty without touching the file, so a
// caller checks failure() once after a run of reads and before acting on what they gave.
// (No exceptions: the stub is built without them, as their runtime support would double it.)
#include "diag/NativeLog.h"
#include "platform/Files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kwn::config {

class BlockFile {
public:
    BlockFile(platform::ReadableFile& file, diag::NativeLog& log);

    void seek(std::int64_t position);
    std::int64_t position() const { return position_; }
    // The first failed read's text, or null while every read succeeded.
    const char* failure() const { return failure_; }

    std::int16_t readShort();
    std::int32_t readInt();
    std::int64_t readLong();
    // An int byte length and that many bytes; text stops at its first zero, as a C string.
    std::string readString();
    // An int byte length (even) and that many bytes of UTF-16LE text.
    std::u16string readWString();
    // Up to count bytes for bulk copies: what the buffer still holds at the current position,
    // else one read of the file straight into out, so that large content is not buffered
    // twice. A short delivery is not an error; the caller decides what 0 bytes mean. Nothing
    // is delivered after a failed read.
    platform::ReadableFile::ReadResult readUpTo(void* out, std::uint32_t count);

private:
    struct Shortfall {
        std::uint32_t error = 0;
        std::uint32_t bytesRead = 0;
    };
    // Copies count bytes from the current position; false with the shortfall when the file
    // ends or a read fails.
    bool readBytes(void* out, size_t count, Shortfall& shortfall);
    bool fill(Shortfall& shortfall);
    // Moves the file to our position unless it stands there already.
    bool syncFilePosition();
    std::int32_t readLength(const char* failure, std::int64_t multipleOf);
    // Like readBytes, but nothing is read once a read has failed.
    bool readChecked(void* out, size_t count, Shortfall& shortfall);
    void fail(const char* failure);

    platform::ReadableFile& file_;
    diag::NativeLog& log_;
    std::int64_t position_ = 0;
    std::int64_t fileSize_ = 0;
    std::vector<unsigned char> buffer_;
    std::int64_t bufferStart_ = 0;   // file offset of buffer_[0]
    std::int64_t filePosition_ = -1; // where the file itself stands; -1 when unknown
    const char* failure_ = nullptr;
};

} // namespace kwn::config
