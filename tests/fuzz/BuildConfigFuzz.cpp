// The build tool's configuration is user text: every fault in it has to end as a BuildError,
// and nothing in reading it may reach undefined behaviour.
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        kwn::build::parseConfig(std::string_view(reinterpret_cast<const char*>(data), size),
                                "fuzz.toml");
    } catch (const kwn::build::BuildError&) {
    }
    return 0;
}
