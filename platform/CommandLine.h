// How the platform's command lines mark a switch.
#pragma once

#include <string_view>

namespace zarn::platform {

// True when `argument` is a switch rather than a file name: it begins with "-" on POSIX (where "/" begins an
// absolute path), with "-" or "/" on Windows. Any thread; never fails.
bool IsSwitchArgument(std::string_view argument);

} // namespace zarn::platform
