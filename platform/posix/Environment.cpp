#include "platform/Environment.h"

#include <cstdlib>

namespace zarn::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    if (const char* value = std::getenv(name.c_str())) {
        return value;
    }
    return std::nullopt;
}

bool SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
    return (value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str())) == 0;
}

} // namespace zarn::platform
