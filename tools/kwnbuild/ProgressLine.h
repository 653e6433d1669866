#pragma once
// One line of progress for a large input, rewritten in place as the percentage grows. Only worth
// showing to a person: the caller passes a stream only when standard error is a terminal.
#include <cstdint>
#include <ostream>
#include <string>

namespace kwn::build {

// Smaller inputs are done before a progress line could be read.
constexpr std::uint64_t kProgressThreshold = 4 * 1024 * 1024;

class ProgressLine {
public:
    // Shows nothing when `out` is null or `total` is not above kProgressThreshold.
    ProgressLine(std::ostream* out, std::string label, std::uint64_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void update(std::uint64_t done);

private:
    std::ostream* out_;
    std::string label_;
    std::uint64_t total_;
    int shownPercent_ = -1;
};

} // namespace kwn::build
