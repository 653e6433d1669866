#include "tools/kwnbuild/PeResources.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/PeImage.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace kwn::build {

namespace {
using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRelocationDirectory = 5;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
// Type, name, language: the depth of every resource tree Windows reads.
constexpr int kLevels = 3;

std::uint64_t alignUp(std::uint64_t value, std::uint32_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// The address a data directory holds; its size is not needed to move or check it.
std::uint32_t directoryRva(std::span<const unsigned char> image, const PeLayout& layout,
                           std::uint32_t index) {
    if (index >= layout.directoryCount)
        return 0;
    return readLittleEndian(image, layout.dataDirectories + 8 * std::uint64_t{index}, 4);
}

// The file offset of an address inside a section's raw data, or nothing.
std::optional<std::uint64_t> fileOffset(const PeLayout& layout, std::uint64_t rva,
                                        std::uint64_t size) {
    for (const PeSection& section : layout.sections) {
        if (rva >= section.virtualAddress && rva + size <= section.virtualAddress + section.rawSize)
            return rva - section.virtualAddress + section.rawOffset;
    }
    return std::nullopt;
}

class TreeReader {
public:
    TreeReader(std::span<const unsigned char> image, const PeLayout& layout, std::uint64_t root,
               std::uint64_t end)
        : image_(image), layout_(layout), root_(root), end_(end) {}

    void read(std::uint32_t directory, int level, ResourceKey key, ResourceTree& tree) {
        std::uint64_t at = checked(directory, kDirectorySize);
        std::uint32_t count =
            readLittleEndian(image_, at + 12, 2) + readLittleEndian(image_, at + 14, 2);
        checked(directory + kDirectorySize, std::uint64_t{count} * kEntrySize);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t entry = at + kDirectorySize + kEntrySize * i;
            std::uint32_t name = readLittleEndian(image_, entry, 4);
            std::uint32_t target = readLittleEndian(image_, entry + 4, 4);
            ResourceId id = (name & kHighBit) ? ResourceId{true, 0, text(name & ~kHighBit)}
                                              : resourceNumber(static_cast<std::uint16_t>(name));
            if (level == 0)
                key.type = id;
            else if (level == 1)
                key.name = id;
            else
                key.language = id.number;
            bool subdirectory = (target & kHighBit) != 0;
            if (subdirectory != (level + 1 < kLevels))
                throw BuildError("the resource tree is not three levels deep");
            if (subdirectory)
                read(target & ~kHighBit, level + 1, key, tree);
            else
                tree[key] = data(target);
        }
    }

private:
    std::uint64_t checked(std::uint64_t offset, std::uint64_t size) const {
        if (root_ + offset + size > end_)
            throw BuildError("the resource tree points past its section");
        return root_ + offset;
    }

    std::u16string text(std::uint32_t offset) const {
        std::uint64_t at = checked(offset, 2);
        std::uint32_t length = readLittleEndian(image_, at, 2);
        checked(offset + 2, 2 * std::uint64_t{length});
        std::u16string result;
        for (std::uint32_t i = 0; i < length; ++i)
            result += static_cast<char16_t>(readLittleEndian(image_, at + 2 + 2 * i, 2));
        return result;
    }

    Bytes data(std::uint32_t entry) const {
        std::uint64_t at = checked(entry, kDataEntrySize);
        std::uint32_t rva = readLittleEndian(image_, at, 4);
        std::uint32_t size = readLittleEndian(image_, at + 4, 4);
        std::optional<std::uint64_t> offset = fileOffset(layout_, rva, size);
        if (!offset)
            throw BuildError("resource data lies outside the image's raw data");
        auto begin = image_.begin() + static_cast<std::ptrdiff_t>(*offset);
        return Bytes(begin, begin + size);
    }

    std::span<const unsigned char> image_;
    const PeLayout& layout_;
    std::uint64_t root_, end_;
};

// The tree regrouped level by level, in the order the section stores it.
using Leaves = std::vector<std::pair<ResourceId, const Bytes*>>;
using Names = std::vector<std::pair<ResourceId, Leaves>>;
using Types = std::vector<std::pair<ResourceId, Names>>;

template <class Children, class Child> Child& lastWithId(Children& children, const ResourceId& id) {
    if (children.empty() || children.back().first != id)
        children.push_back({id, Child{}});
    return children.back().second;
}

Types regroup(const ResourceTree& tree) {
    Types types;
    for (const auto& [key, data] : tree) {
        Names& names = lastWithId<Types, Names>(types, key.type);
        lastWithId<Names, Leaves>(names, key.name).push_back({resourceNumber(key.language), &data});
    }
    return types;
}

class SectionWriter {
public:
    // Returns the directory's offset; named entries get their string later.
    template <class Children> std::size_t directory(const Children& children) {
        std::size_t at = grow(kDirectorySize + kEntrySize * children.size());
        auto named = std::count_if(children.begin(), children.end(),
                                   [](const auto& child) { return child.first.named; });
        put(at + 12, static_cast<std::uint64_t>(named), 2);
        put(at + 14, children.size() - static_cast<std::size_t>(named), 2);
        for (std::size_t i = 0; i < children.size(); ++i) {
            std::size_t entry = at + kDirectorySize + kEntrySize * i;
            if (children[i].first.named)
                names_.push_back({entry, &children[i].first.name});
            else
                put(entry, children[i].first.number, 4);
        }
        return at;
    }

    void point(std::size_t directory, std::size_t index, std::size_t target, bool subdirectory) {
        put(directory + kDirectorySize + kEntrySize * index + 4,
            target | (subdirectory ? kHighBit : 0), 4);
    }

    std::size_t dataEntry(const Bytes* data) {
        std::size_t at = grow(kDataEntrySize);
        leaves_.push_back({at, data});
        return at;
    }

    // Strings, then the data, each piece aligned as Windows expects it.
    Bytes finish(std::uint32_t sectionRva) {
        for (const auto& [entry, name] : names_) {
            put(entry, bytes_.size() | kHighBit, 4);
            std::size_t at = grow(2 + 2 * name->size());
            put(at, name->size(), 2);
            for (std::size_t i = 0; i < name->size(); ++i)
                put(at + 2 + 2 * i, (*name)[i], 2);
        }
        for (const auto& [entry, data] : leaves_) {
            bytes_.resize(alignUp(bytes_.size(), 8));
            put(entry, sectionRva + bytes_.size(), 4);
            put(entry + 4, data->size(), 4);
            bytes_.insert(bytes_.end(), data->begin(), data->end());
        }
        bytes_.resize(alignUp(bytes_.size(), 8));
        return std::move(bytes_);
    }

private:
    std::size_t grow(std::size_t size) {
        bytes_.resize(bytes_.size() + size);
        return bytes_.size() - size;
    }
    void put(std::size_t offset, std::uint64_t value, std::size_t width) {
        putLittleEndian(bytes_, offset, value, width);
    }

    Bytes bytes_;
    std::vector<std::pair<std::size_t, const std::u16string*>> names_;
    std::vector<std::pair<std::size_t, const Bytes*>> leaves_;
};

Bytes encodeSection(const ResourceTree& tree, std::uint32_t sectionRva) {
    Types types = regroup(tree);
    SectionWriter writer;
    std::size_t root = writer.directory(types);
    for (std::size_t t = 0; t < types.size(); ++t) {
        const Names& names = types[t].second;
        std::size_t typeDirectory = writer.directory(names);
        writer.point(root, t, typeDirectory, true);
        for (std::size_t n = 0; n < names.size(); ++n) {
            const Leaves& leaves = names[n].second;
            std::size_t nameDirectory = writer.directory(leaves);
            writer.point(typeDirectory, n, nameDirectory, true);
            for (std::size_t l = 0; l < leaves.size(); ++l)
                writer.point(nameDirectory, l, writer.dataEntry(leaves[l].second), false);
        }
    }
    return writer.finish(sectionRva);
}

std::size_t resourceSection(std::span<const unsigned char> image, const PeLayout& layout) {
    std::uint32_t resources = directoryRva(image, layout, kResourceDirectory);
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        if (resources != 0 && layout.sections[i].virtualAddress == resources)
            return i;
    }
    throw BuildError("the stub has no resource section of its own to rewrite");
}

// Only the base relocations may follow the resources: nothing in the code addresses them, so
// they can move with their data directory. Anything else would need the code relinked.
void checkMovable(std::span<const unsigned char> image, const PeLayout& layout,
                  const PeSection& resources) {
    if (directoryRva(image, layout, kSecurityDirectory) != 0)
        throw BuildError("the stub is signed; sign the launcher after building it");
    std::uint32_t relocations = directoryRva(image, layout, kRelocationDirectory);
    for (const PeSection& section : layout.sections) {
        bool after = section.virtualAddress > resources.virtualAddress ||
                     section.rawOffset > resources.rawOffset;
        if (after && (section.virtualAddress != relocations || relocations == 0))
            throw BuildError("a section other than the base relocations follows the resources");
    }
    for (std::uint32_t i = 0; i < layout.directoryCount; ++i) {
        std::uint32_t directory = directoryRva(image, layout, i);
        if (i != kSecurityDirectory && i != kResourceDirectory && i != kRelocationDirectory &&
            directory > resources.virtualAddress)
            throw BuildError("data directory " + std::to_string(i) +
                             " lies in or behind the "
                             "resources");
    }
}
} // namespace

ResourceTree readResources(std::span<const unsigned char> image) {
    PeLayout layout = readPeLayout(image);
    std::uint32_t directory = directoryRva(image, layout, kResourceDirectory);
    ResourceTree tree;
    if (directory == 0)
        return tree;
    std::optional<std::uint64_t> root = fileOffset(layout, directory, kDirectorySize);
    if (!root)
        throw BuildError("the resource directory lies outside the image's raw data");
    const PeSection* section = nullptr;
    for (const PeSection& candidate : layout.sections) {
        if (candidate.virtualAddress <= directory &&
            directory < candidate.virtualAddress + candidate.rawSize)
            section = &candidate;
    }
    TreeReader(image, layout, *root, std::uint64_t{section->rawOffset} + section->rawSize)
        .read(0, 0, {}, tree);
    return tree;
}

std::vector<unsigned char> withResources(std::span<const unsigned char> image,
                                         const ResourceTree& tree) {
    PeLayout layout = readPeLayout(image);
    std::size_t index = resourceSection(image, layout);
    PeSection old = layout.sections[index];
    checkMovable(image, layout, old);
    Bytes section = encodeSection(tree, old.virtualAddress);
    std::uint64_t rawSize = alignUp(section.size(), layout.fileAlignment);
    auto rawDelta = static_cast<std::int64_t>(rawSize) - old.rawSize;
    auto rvaDelta = static_cast<std::int64_t>(
                        alignUp(old.virtualAddress + section.size(), layout.sectionAlignment)) -
                    static_cast<std::int64_t>(alignUp(std::uint64_t{old.virtualAddress} +
                                                          std::max(old.virtualSize, old.rawSize),
                                                      layout.sectionAlignment));

    Bytes out(image.begin(), image.begin() + old.rawOffset);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(old.rawOffset + rawSize);
    out.insert(out.end(), image.begin() + old.rawOffset + old.rawSize, image.end());

    PeSection& rebuilt = layout.sections[index];
    rebuilt.virtualSize = static_cast<std::uint32_t>(section.size());
    rebuilt.rawSize = static_cast<std::uint32_t>(rawSize);
    putLittleEndian(out, rebuilt.header + 8, rebuilt.virtualSize, 4);
    putLittleEndian(out, rebuilt.header + 16, rebuilt.rawSize, 4);
    std::uint64_t imageEnd = 0;
    for (PeSection& moved : layout.sections) {
        if (moved.virtualAddress > old.virtualAddress) {
            moved.virtualAddress = static_cast<std::uint32_t>(moved.virtualAddress + rvaDelta);
            moved.rawOffset = static_cast<std::uint32_t>(moved.rawOffset + rawDelta);
            putLittleEndian(out, moved.header + 12, moved.virtualAddress, 4);
            putLittleEndian(out, moved.header + 20, moved.rawOffset, 4);
        }
        imageEnd =
            std::max<std::uint64_t>(imageEnd, std::uint64_t{moved.virtualAddress} +
                                                  std::max(moved.virtualSize, moved.rawSize));
    }
    putLittleEndian(out, layout.sizeOfImageField, alignUp(imageEnd, layout.sectionAlignment), 4);
    putLittleEndian(out, layout.initializedDataField,
                    readLittleEndian(image, layout.initializedDataField, 4) + rawDelta, 4);
    putLittleEndian(out, layout.dataDirectories + 8 * kResourceDirectory + 4, section.size(), 4);
    std::uint32_t relocations = directoryRva(image, layout, kRelocationDirectory);
    if (relocations > old.virtualAddress)
        putLittleEndian(out, layout.dataDirectories + 8 * kRelocationDirectory,
                        relocations + rvaDelta, 4);
    putLittleEndian(out, layout.checksumField, 0, 4);
    return out;
}

std::string describeResourceId(const ResourceId& id) {
    if (!id.named)
        return std::to_string(id.number);
    std::string text;
    for (char16_t unit : id.name)
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    return text;
}

std::string resourceTypeName(const ResourceId& type) {
    static const std::map<std::uint16_t, std::string> kNames = {
        {1, "RT_CURSOR"},      {2, "RT_BITMAP"},   {3, "RT_ICON"},     {4, "RT_MENU"},
        {5, "RT_DIALOG"},      {6, "RT_STRING"},   {10, "RT_RCDATA"},  {12, "RT_GROUP_CURSOR"},
        {14, "RT_GROUP_ICON"}, {16, "RT_VERSION"}, {24, "RT_MANIFEST"}};
    auto known = type.named ? kNames.end() : kNames.find(type.number);
    return known != kNames.end() ? known->second : describeResourceId(type);
}

} // namespace kwn::build
