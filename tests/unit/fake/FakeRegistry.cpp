#include "fake/FakeRegistry.h"

#include <algorithm>
#include <cctype>

namespace kwn::test {

namespace {
std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

class FakeKey : public platform::RegistryKey {
public:
    FakeKey(FakeRegistry& registry, FakeRegistry::Address address)
        : registry_(registry), address_(std::move(address)) {}

    std::optional<std::vector<unsigned char>> queryValue(const std::string& name,
                                                         std::uint32_t maxBytes) override {
        FakeRegistry::Node& node = registry_.keys[address_];
        auto it = node.values.find(lower(name));
        if (it == node.values.end() || it->second.data.size() > maxBytes)
            return std::nullopt;
        return it->second.data;
    }
    bool setBinary(const std::string& name, const std::vector<unsigned char>& data) override {
        registry_.keys[address_].values[lower(name)] = {data, false};
        return true;
    }
    bool setString(const std::string& name, const std::string& data) override {
        return setBinary(name, {data.begin(), data.end()});
    }
    bool setDword(const std::string& name, std::uint32_t value) override {
        std::vector<unsigned char> data;
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<unsigned char>(value >> shift));
        registry_.keys[address_].values[lower(name)] = {data, true};
        return true;
    }
    // Alphabetical, as Windows enumerates subkeys.
    std::uint32_t enumerateSubkey(std::uint32_t index, std::string& name) override {
        std::vector<std::string> names = subkeyNames();
        if (index >= names.size())
            return 259; // ERROR_NO_MORE_ITEMS
        if (registry_.unreadable.contains(lower(std::get<2>(address_) + "\\" + names[index])))
            return 234; // ERROR_MORE_DATA
        name = names[index];
        return 0;
    }

private:
    // The keys map holds paths in order, so that a key's children come in the order of names.
    std::vector<std::string> subkeyNames() {
        const auto& [root, view, parent] = address_;
        std::vector<std::string> names;
        for (const auto& [address, node] : registry_.keys) {
            const auto& [otherRoot, otherView, path] = address;
            if (otherRoot == root && otherView == view && path.starts_with(parent + "\\") &&
                path.size() > parent.size() + 1 &&
                path.find('\\', parent.size() + 1) == std::string::npos)
                names.push_back(node.name.substr(node.name.rfind('\\') + 1));
        }
        return names;
    }

    FakeRegistry& registry_;
    FakeRegistry::Address address_;
};
} // namespace

FakeRegistry::Address FakeRegistry::address(Root root, const std::string& path, View view) const {
    // Only the machine root has a separate 32-bit tree.
    View effective = root == Root::CurrentUser ? View::Default : view;
    return {root, effective, lower(trimmed(path))};
}

FakeRegistry::Node& FakeRegistry::addKey(Root root, const std::string& path, View view) {
    std::string clean = trimmed(path);
    size_t slash = clean.rfind('\\');
    if (slash != std::string::npos)
        addKey(root, clean.substr(0, slash), view);
    Node& node = keys[address(root, clean, view)];
    if (node.name.empty())
        node.name = clean;
    return node;
}

void FakeRegistry::setBinary(Root root, const std::string& path, const std::string& name,
                             std::vector<unsigned char> value, View view) {
    addKey(root, path, view).values[lower(name)] = {std::move(value), false};
}

std::optional<FakeRegistryValue> FakeRegistry::value(Root root, const std::string& path,
                                                     const std::string& name, View view) const {
    auto key = keys.find(address(root, path, view));
    if (key == keys.end())
        return std::nullopt;
    auto it = key->second.values.find(lower(name));
    return it == key->second.values.end() ? std::nullopt : std::optional(it->second);
}

std::unique_ptr<platform::RegistryKey> FakeRegistry::open(Root root, const std::string& path,
                                                          View view, std::uint32_t& error) {
    Address where = address(root, path, view);
    if (!keys.contains(where)) {
        error = 2; // ERROR_FILE_NOT_FOUND
        return nullptr;
    }
    error = 0;
    return std::make_unique<FakeKey>(*this, where);
}

std::unique_ptr<platform::RegistryKey> FakeRegistry::create(Root root, const std::string& path) {
    addKey(root, path, View::Default);
    return std::make_unique<FakeKey>(*this, address(root, path, View::Default));
}

} // namespace kwn::test
