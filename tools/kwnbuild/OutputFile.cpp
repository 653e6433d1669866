#include "tools/kwnbuild/OutputFile.h"

#include "tools/kwnbuild/BuildError.h"

#include <cerrno>
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
} // namespace

OutputFile::OutputFile(const std::filesystem::path& target) : target_(target) {
    std::random_device random;
    for (int attempt = 0; attempt < kTempNameAttempts && !stream_; ++attempt) {
        temp_ = target;
        temp_ += "." + std::to_string(random()) + ".kwnbuild-tmp";
        stream_ = std::fopen(temp_.string().c_str(), "wbx"); // never reuse another's file
    }
    if (!stream_)
        throw BuildError("cannot create a temporary file beside " + quoted(target) + ": " +
                         std::strerror(errno));
}

OutputFile::~OutputFile() {
    if (stream_)
        std::fclose(stream_);
    if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(temp_, ignored);
    }
}

void OutputFile::write(std::span<const unsigned char> bytes) {
    if (!stream_)
        throw BuildError("cannot write " + quoted(temp_) + ": the output is closed");
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size())
        throw BuildError("cannot write " + quoted(temp_) + ": " + std::strerror(errno));
}

void OutputFile::commit() {
    if (!stream_)
        throw BuildError("cannot write " + quoted(temp_) + ": the output is closed");
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (closed != 0)
        throw BuildError("cannot write " + quoted(temp_) + ": " + std::strerror(errno));
    std::error_code error;
    std::filesystem::rename(temp_, target_, error);
    if (error)
        throw BuildError("cannot replace " + quoted(target_) + ": " + error.message());
    committed_ = true;
}

} // namespace kwn::build
