#pragma once
// A build's output, written piece by piece to a temporary file beside the target and renamed over
// it at the end, so that a reader never sees a partial launcher and a failed build leaves an
// earlier output as it was. The temporary file is removed unless the output was committed, also
// when SIGINT or SIGTERM ends the program; one output at a time is so guarded.
#include "tools/kwnbuild/ByteSink.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace kwn::build {

class OutputFile : public ByteSink {
public:
    explicit OutputFile(const std::filesystem::path& target);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::span<const unsigned char> bytes) override;
    void patch(std::uint64_t offset, std::span<const unsigned char> bytes) override;
    // Closes the temporary file and renames it over the target.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::string tempText_; // what the signal handler removes
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

} // namespace kwn::build
