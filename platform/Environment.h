#pragma once
// Process environment variables (GetEnvironmentVariableA and friends).
#include <optional>
#include <string>

namespace kwn::platform {

class Environment {
public:
    virtual ~Environment() = default;
    // nullopt when the variable is not defined.
    virtual std::optional<std::string> get(const std::string& name) = 0;
    virtual std::optional<std::u16string> getW(const std::u16string& name) = 0;
    // SetEnvironmentVariableA; false on failure.
    virtual bool set(const std::string& name, const std::string& value) = 0;
};

} // namespace kwn::platform
