#include "platform/CrashPoint.h"

#include "platform/Environment.h"

#include <csignal>
#include <optional>
#include <string>

namespace zarn::platform {

void CrashPoint(std::string_view name) {
    static const std::optional<std::string> target = EnvironmentValue("ZARN_CRASH_AT");
    if (target && *target == name) {
        // SIGKILL cannot be caught or blocked: nothing of the process runs after it.
        std::raise(SIGKILL);
    }
}

} // namespace zarn::platform
