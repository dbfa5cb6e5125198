#include "platform/Environment.h"

#include <cstdlib>

namespace zarn::platform {

bool SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
    return (value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str())) == 0;
}

} // namespace zarn::platform
