#include "tools/kwnbuild/WholeFile.h"

#include "tools/kwnbuild/BuildError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

namespace kwn::build {

namespace {
constexpr int kTempNameAttempts = 16;

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Removes its file when destroyed unless the file was renamed into place.
class TempFile {
public:
    explicit TempFile(const std::filesystem::path& target) {
        std::random_device random;
        for (int attempt = 0; attempt < kTempNameAttempts && !stream_; ++attempt) {
            path_ = target;
            path_ += "." + std::to_string(random()) + ".kwnbuild-tmp";
            stream_ = std::fopen(path_.string().c_str(), "wbx"); // never reuse another's file
        }
        if (!stream_)
            throw BuildError("cannot create a temporary file beside " + quoted(target) + ": " +
                             std::strerror(errno));
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    ~TempFile() {
        if (stream_)
            std::fclose(stream_);
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    void write(std::span<const unsigned char> bytes) {
        std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), stream_);
        int closed = std::fclose(stream_);
        stream_ = nullptr;
        if (written != bytes.size() || closed != 0)
            throw BuildError("cannot write " + quoted(path_) + ": " + std::strerror(errno));
    }

    void renameTo(const std::filesystem::path& target) {
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error)
            throw BuildError("cannot replace " + quoted(target) + ": " + error.message());
        committed_ = true;
    }

private:
    std::filesystem::path path_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};
} // namespace

std::vector<unsigned char> readWholeFile(const std::filesystem::path& path, const char* what) {
    std::FILE* stream = std::fopen(path.string().c_str(), "rb");
    if (!stream)
        throw BuildError(std::string("cannot open ") + what + " " + quoted(path) + ": " +
                         std::strerror(errno));
    std::vector<unsigned char> bytes;
    unsigned char chunk[64 * 1024];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed)
        throw BuildError(std::string("cannot read ") + what + " " + quoted(path));
    return bytes;
}

void replaceWholeFile(const std::filesystem::path& target, std::span<const unsigned char> bytes) {
    TempFile temp(target);
    temp.write(bytes);
    temp.renameTo(target);
}

} // namespace kwn::build
