#pragma once
// An in-memory registry. Key paths compare without regard to case, as in Windows; the 32-bit
// view of the machine root is a separate tree, while the user root is shared by both views.
#include "platform/Registry.h"

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kwn::test {

struct FakeRegistryValue {
    std::vector<unsigned char> data;
    bool isDword = false;
};

class FakeRegistry : public platform::Registry {
public:
    using Root = platform::RegistryRoot;
    using View = platform::RegistryView;

    struct Node {
        std::string name; // as first written, for enumeration
        std::map<std::string, FakeRegistryValue> values;
    };

    // Set-up: creates the key (and its parents) and sets the value.
    void setString(Root root, const std::string& path, const std::string& name,
                   const std::string& value, View view = View::Default) {
        setBinary(root, path, name, {value.begin(), value.end()}, view);
    }
    void setBinary(Root root, const std::string& path, const std::string& name,
                   std::vector<unsigned char> value, View view = View::Default);
    Node& addKey(Root root, const std::string& path, View view = View::Default);
    std::optional<FakeRegistryValue> value(Root root, const std::string& path,
                                           const std::string& name,
                                           View view = View::Default) const;

    std::unique_ptr<platform::RegistryKey> open(Root root, const std::string& path, View view,
                                                std::uint32_t& error) override;
    std::unique_ptr<platform::RegistryKey> create(Root root, const std::string& path) override;

    using Address = std::tuple<Root, View, std::string>; // path in lower case
    std::map<Address, Node> keys;
    std::set<std::string> unreadable; // key paths in lower case that fail in their enumeration

private:
    Address address(Root root, const std::string& path, View view) const;
};

} // namespace kwn::test
