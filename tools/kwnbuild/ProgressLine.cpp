#include "tools/kwnbuild/ProgressLine.h"

#include <utility>

namespace kwn::build {

ProgressLine::ProgressLine(std::ostream* out, std::string label, std::uint64_t total)
    : out_(total > kProgressThreshold ? out : nullptr), label_(std::move(label)), total_(total) {
    update(0);
}

// The line is ended however the copy ends, so that an error message starts on a line of its own.
ProgressLine::~ProgressLine() {
    if (out_)
        *out_ << '\n' << std::flush;
}

void ProgressLine::update(std::uint64_t done) {
    if (!out_)
        return;
    auto percent = static_cast<int>(done * 100 / total_);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    *out_ << "\rkwnbuild: including " << label_ << ": " << percent << '%' << std::flush;
}

} // namespace kwn::build
