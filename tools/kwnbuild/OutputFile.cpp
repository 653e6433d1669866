#include "tools/kwnbuild/OutputFile.h"

#include "tools/kwnbuild/BuildError.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#define KWN_UNLINK _unlink
#else
#include <unistd.h>
#define KWN_UNLINK unlink
#endif

namespace kwn::build {

namespace {
constexpr int kTempNameAttempts = 16;

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// An interrupted build of a large launcher would otherwise leave hundreds of megabytes behind.
std::atomic<const char*> pendingTemp{nullptr};

extern "C" void removePendingTemp(int signal) {
    if (const char* path = pendingTemp.load())
        KWN_UNLINK(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void guardTemp(const char* path) {
    static const bool installed = [] {
        for (int signal : {SIGINT, SIGTERM}) {
            if (std::signal(signal, removePendingTemp) == SIG_IGN)
                std::signal(signal, SIG_IGN); // a build started to ignore them keeps doing so
        }
        return true;
    }();
    (void)installed;
    pendingTemp.store(path);
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
    tempText_ = temp_.string();
    guardTemp(tempText_.c_str());
}

OutputFile::~OutputFile() {
    pendingTemp.store(nullptr);
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

void OutputFile::patch(std::uint64_t offset, std::span<const unsigned char> bytes) {
    if (!stream_ || std::fflush(stream_) != 0 ||
        std::fseek(stream_, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size() ||
        std::fseek(stream_, 0, SEEK_END) != 0)
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
    pendingTemp.store(nullptr);
}

} // namespace kwn::build
