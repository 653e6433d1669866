#pragma once
// Every fault the build tool reports: bad input, an unusable stub, a failed write. The text is
// one line for the user; the command-line front end puts the program name in front of it.
#include <stdexcept>

namespace kwn::build {

class BuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kwn::build
