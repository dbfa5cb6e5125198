// Fault injection for the tests that kill the launcher at exact steps of an install, which timing cannot do
// reliably.
#pragma once

#include <string_view>

namespace zarn::platform {

// Kills the process at once, as `kill -9` would (no destructors, no exit handlers, no flushing), when the
// environment variable ZARN_CRASH_AT equals `name`; otherwise does nothing. The variable is read once per process.
// Any thread.
void CrashPoint(std::string_view name);

} // namespace zarn::platform
