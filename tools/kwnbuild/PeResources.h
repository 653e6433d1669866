#pragma once
// The resources of a PE image as a tree in memory, read from the image's resource section and
// written back by rebuilding that section.
//
// Written over our own PE code rather than Debian's liblief-dev: the packaged LIEF is 0.9, whose
// builder lays the whole image out anew (new sections, the old ones left behind), which would
// break the launcher's rule that the last section-table entry ends the image and would make the
// output depend on the library's version. The stub's layout is ours and simple, so rebuilding one
// section and moving the base relocations behind it is all that is needed.
#include <compare>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace kwn::build {

// A resource type or name: a number, or a string (named entries sort before numbered ones,
// which is the order the PE format requires).
struct ResourceId {
    bool named = false;
    std::uint16_t number = 0;
    std::u16string name;
    std::strong_ordering operator<=>(const ResourceId& other) const {
        if (named != other.named)
            return named ? std::strong_ordering::less : std::strong_ordering::greater;
        return named ? name <=> other.name : number <=> other.number;
    }
    bool operator==(const ResourceId& other) const { return (*this <=> other) == 0; }
};

constexpr ResourceId resourceNumber(std::uint16_t number) {
    return {false, number, {}};
}

struct ResourceKey {
    ResourceId type, name;
    std::uint16_t language = 0;
    auto operator<=>(const ResourceKey&) const = default;
};

// Ordered as the section stores it, so that the same tree always gives the same bytes.
using ResourceTree = std::map<ResourceKey, std::vector<unsigned char>>;

namespace resource_type {
constexpr std::uint16_t kIcon = 3, kBitmap = 2, kRcData = 10, kGroupIcon = 14, kVersion = 16,
                        kManifest = 24;
}

// An image without resources gives an empty tree. BuildError for a resource section that cannot
// be walked.
ResourceTree readResources(std::span<const unsigned char> image);

// The image with its resource section rebuilt from `tree`: the section keeps its place and
// address, the sections behind it move, and the headers follow (sizes, data directories; a set
// checksum is cleared, as the caller sets it over the whole file). BuildError when the image has
// no resource section of its own or a section that cannot move follows it.
std::vector<unsigned char> withResources(std::span<const unsigned char> image,
                                         const ResourceTree& tree);

// "RT_ICON", "RT_BITMAP", ... for the types an application's launcher carries, else the number
// or the name.
std::string resourceTypeName(const ResourceId& type);

std::string describeResourceId(const ResourceId& id);

} // namespace kwn::build
