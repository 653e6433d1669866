#pragma once
// Little-endian reads from the launcher's own file, through a buffer rather than one ReadFile
// per field. A short or failed read ends in BlockReadError carrying the text the user sees,
// named after the primitive that failed.
#include "diag/NativeLog.h"
#include "platform/Files.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kwn::config {

class BlockReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BlockFile {
public:
    BlockFile(platform::ReadableFile& file, diag::NativeLog& log);

    void seek(std::int64_t position);
    std::int64_t position() const { return position_; }

    std::int16_t readShort();
    std::int32_t readInt();
    std::int64_t readLong();
    // An int byte length and that many bytes; text stops at its first zero, as a C string.
    std::string readString();
    // An int byte length (even) and that many bytes of UTF-16LE text.
    std::u16string readWString();
    // Up to count bytes for bulk copies: what the buffer still holds at the current position,
    // else one read of the file straight into out, so that large content is not buffered
    // twice. A short delivery is not an error; the caller decides what 0 bytes mean.
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

    platform::ReadableFile& file_;
    diag::NativeLog& log_;
    std::int64_t position_ = 0;
    std::int64_t fileSize_ = 0;
    std::vector<unsigned char> buffer_;
    std::int64_t bufferStart_ = 0;   // file offset of buffer_[0]
    std::int64_t filePosition_ = -1; // where the file itself stands; -1 when unknown
};

} // namespace kwn::config
