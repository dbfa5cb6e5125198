// The process's environment variables.
#pragma once

#include <optional>
#include <string>

namespace zarn::platform {

// The variable's value; nullopt when it is not set. Not safe against a concurrent SetEnvironmentValue.
std::optional<std::string> EnvironmentValue(const std::string& name);

// Sets the variable, or with nullopt removes it; false when the system refuses (a name with '=', no memory).
// On Windows an empty value removes the variable, as the C runtime has no empty ones. Call it only while no other
// thread reads the environment.
bool SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value);

} // namespace zarn::platform
