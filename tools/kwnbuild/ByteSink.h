#pragma once
// Where a launcher is written to: the output file as it is streamed, or memory for the tests and
// for callers that want the bytes.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace kwn::build {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // BuildError when the bytes cannot be taken.
    virtual void write(std::span<const unsigned char> bytes) = 0;
    // Overwrites bytes already written, for a header field that depends on everything after it.
    virtual void patch(std::uint64_t offset, std::span<const unsigned char> bytes) = 0;
};

class MemorySink : public ByteSink {
public:
    void write(std::span<const unsigned char> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    void patch(std::uint64_t offset, std::span<const unsigned char> bytes) override {
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    std::vector<unsigned char>& bytes() { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

} // namespace kwn::build
