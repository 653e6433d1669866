#pragma once
// Process environment variables (GetEnvironmentVariableA and friends).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kwn::platform {

class Environment {
public:
    virtual ~Environment() = default;
    // nullopt when the variable is not defined.
    virtual std::optional<std::string> get(const std::string& name) = 0;
    virtual std::optional<std::u16string> getW(const std::u16string& name) = 0;
    // SetEnvironmentVariableA: 0 on success, else GetLastError.
    virtual std::uint32_t set(const std::string& name, const std::string& value) = 0;
    // The environment block's "NAME=value" entries in block order (GetEnvironmentStrings(W)),
    // hidden entries that begin with "=" included.
    virtual std::vector<std::string> block() = 0;
    virtual std::vector<std::u16string> blockW() = 0;
    // getenv: the C runtime's own copy, which need not agree with the process environment.
    virtual std::optional<std::string> getRuntimeVariable(const std::string& name) = 0;
    // The C runtime keeps its own copy of the environment; putenv updates that one.
    virtual void putRuntimeVariable(const std::string& assignment) = 0;
};

} // namespace kwn::platform
