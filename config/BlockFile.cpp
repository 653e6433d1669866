#include "config/BlockFile.h"

#include <algorithm>
#include <cstring>

namespace kwn::config {

namespace {
constexpr std::uint32_t kChunk = 64 * 1024;

template <class T> T littleEndian(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return static_cast<T>(value);
}
} // namespace

BlockFile::BlockFile(platform::ReadableFile& file, diag::NativeLog& log)
    : file_(file), log_(log), fileSize_(file.size()) {}

void BlockFile::seek(std::int64_t position) {
    position_ = position;
}

bool BlockFile::syncFilePosition() {
    if (position_ == filePosition_)
        return true;
    filePosition_ = -1;
    if (position_ < 0 || !file_.seek(position_))
        return false;
    filePosition_ = position_;
    return true;
}

bool BlockFile::fill(Shortfall& shortfall) {
    buffer_.clear();
    bufferStart_ = position_;
    if (!syncFilePosition())
        return false;
    buffer_.resize(kChunk);
    platform::ReadableFile::ReadResult result = file_.read(buffer_.data(), kChunk);
    buffer_.resize(result.ok ? result.bytesRead : 0);
    filePosition_ = result.ok ? position_ + result.bytesRead : -1;
    shortfall.error = result.error;
    return result.ok;
}

bool BlockFile::readBytes(void* out, size_t count, Shortfall& shortfall) {
    auto* dest = static_cast<unsigned char*>(out);
    size_t copied = 0;
    while (copied < count) {
        std::int64_t offset = position_ - bufferStart_;
        if (offset < 0 || offset >= static_cast<std::int64_t>(buffer_.size())) {
            if (!fill(shortfall) || buffer_.empty()) {
                shortfall.bytesRead = static_cast<std::uint32_t>(copied);
                return false;
            }
            offset = 0;
        }
        size_t take = std::min(count - copied, buffer_.size() - static_cast<size_t>(offset));
        std::memcpy(dest + copied, buffer_.data() + offset, take);
        copied += take;
        position_ += static_cast<std::int64_t>(take);
    }
    return true;
}

bool BlockFile::readChecked(void* out, size_t count, Shortfall& shortfall) {
    return !failure_ && readBytes(out, count, shortfall);
}

void BlockFile::fail(const char* failure) {
    if (!failure_)
        failure_ = failure;
}

std::int16_t BlockFile::readShort() {
    unsigned char bytes[2];
    Shortfall shortfall;
    if (failure_)
        return 0;
    if (!readBytes(bytes, sizeof bytes, shortfall)) {
        log_.logMessage("error %d\n", shortfall.error);
        fail("Internal Error: readShort");
        return 0;
    }
    return littleEndian<std::int16_t>(bytes);
}

std::int32_t BlockFile::readInt() {
    unsigned char bytes[4];
    Shortfall shortfall;
    if (failure_)
        return 0;
    if (!readBytes(bytes, sizeof bytes, shortfall)) {
        log_.logMessage("error %d %d\n", shortfall.error, shortfall.bytesRead);
        fail("Internal Error: readInt");
        return 0;
    }
    return littleEndian<std::int32_t>(bytes);
}

std::int64_t BlockFile::readLong() {
    unsigned char bytes[8];
    Shortfall shortfall;
    if (failure_)
        return 0;
    if (!readBytes(bytes, sizeof bytes, shortfall)) {
        log_.logMessage("error %d\n", shortfall.error);
        fail("Internal Error: readLong");
        return 0;
    }
    return littleEndian<std::int64_t>(bytes);
}

// A length the build tool never writes (negative, not a multiple of the unit, or running past
// the end of the file) fails as the string read itself, before anything is allocated for it.
std::int32_t BlockFile::readLength(const char* failure, std::int64_t multipleOf) {
    unsigned char bytes[4];
    Shortfall shortfall;
    if (!readChecked(bytes, sizeof bytes, shortfall)) {
        fail(failure);
        return 0;
    }
    auto length = littleEndian<std::int32_t>(bytes);
    bool pastEnd = fileSize_ >= 0 && length > fileSize_ - position_;
    if (length < 0 || length % multipleOf != 0 || pastEnd) {
        fail(failure);
        return 0;
    }
    return length;
}

std::string BlockFile::readString() {
    const char* text = "Internal Error: readString";
    std::string value(static_cast<size_t>(readLength(text, 1)), '\0');
    Shortfall shortfall;
    if (!readChecked(value.data(), value.size(), shortfall)) {
        fail(text);
        return {};
    }
    value.resize(std::strlen(value.c_str()));
    return value;
}

std::u16string BlockFile::readWString() {
    const char* text = "Internal Error: readWString";
    std::int32_t length = readLength(text, 2);
    std::vector<unsigned char> bytes(static_cast<size_t>(length));
    Shortfall shortfall;
    if (!readChecked(bytes.data(), bytes.size(), shortfall)) {
        fail(text);
        return {};
    }
    std::u16string value;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        value.push_back(unit);
    }
    return value;
}

platform::ReadableFile::ReadResult BlockFile::readUpTo(void* out, std::uint32_t count) {
    if (failure_)
        return {false, 0, 0};
    std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && offset < static_cast<std::int64_t>(buffer_.size())) {
        auto take = static_cast<std::uint32_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(buffer_.size()) - offset));
        std::memcpy(out, buffer_.data() + offset, take);
        position_ += take;
        return {true, take, 0};
    }
    // The file's own position may be ahead of ours after a buffer fill.
    if (!syncFilePosition())
        return {false, 0, 0};
    platform::ReadableFile::ReadResult result = file_.read(out, count);
    if (result.ok)
        position_ += result.bytesRead;
    filePosition_ = result.ok ? position_ : -1;
    return result;
}

} // namespace kwn::config
