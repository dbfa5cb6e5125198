#include "platform/Environment.h"

#include <cstdlib>

namespace zarn::platform {

bool SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
    // _putenv_s updates the C runtime's copy and the process's own block, which child processes inherit.
    return ::_putenv_s(name.c_str(), value ? value->c_str() : "") == 0;
}

} // namespace zarn::platform
