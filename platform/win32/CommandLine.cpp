#include "platform/CommandLine.h"

namespace zarn::platform {

bool IsSwitchArgument(std::string_view argument) {
    return argument.starts_with('-') || argument.starts_with('/');
}

} // namespace zarn::platform
