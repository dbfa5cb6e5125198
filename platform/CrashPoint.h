// Fault injection for the kill tests: a named step of the launcher where a test can have it die as `kill -9` would.
#pragma once

#include <string_view>

namespace zarn::platform {

// Ends the process at once, with no clean-up of any kind, when the environment variable ZARN_CRASH_AT equals
// `name` (read once, at the first call); otherwise does nothing. Any thread.
void CrashPoint(std::string_view name);

} // namespace zarn::platform
