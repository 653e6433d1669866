// Version texts come from runtimes' banners, the registry and the probe cache, all of which a
// user can plant; the order over them has to stay an order whatever they hold.
#include "FuzzInput.h"
#include "jvm/JavaExecutable.h"
#include "jvm/VersionRules.h"

namespace {
int sign(int value) {
    return (value > 0) - (value < 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kwn::jvm;
    kwn::fuzz::FuzzInput input(data, size);
    std::string a = input.field(), b = input.field(), c = input.field();
    std::optional<std::string> banner = versionFromBanner(input.field());
    if (banner)
        a = *banner;
    if (compareVersions(a, a) != 0)
        kwn::fuzz::fail("a version differs from itself");
    if (sign(compareVersions(a, b)) != -sign(compareVersions(b, a)))
        kwn::fuzz::fail("the order is not antisymmetric");
    if (compareVersions(a, b) <= 0 && compareVersions(b, c) <= 0 && compareVersions(a, c) > 0)
        kwn::fuzz::fail("the order is not transitive");
    if (!acceptVersion(a, a, a, true, false))
        kwn::fuzz::fail("a version outside bounds equal to itself");
    acceptVersion(a, b, c, false, false);
    versionInRange(a, b, c);
    return 0;
}
