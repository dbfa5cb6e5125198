// The lock keys' state read from the kernel's keyboard lights.
#pragma once

#include "platform/LockKeys.h"

#include <filesystem>

namespace zarn::platform {

// Reads `lightsDir` (the system's is /sys/class/leds), where each keyboard has one "<device>::capslock",
// "::numlock" and "::scrolllock" entry with a "brightness" file; a key is on when any keyboard's light for it
// is above 0. Any thread. All off when the folder cannot be read.
LockKeyState ReadLockLights(const std::filesystem::path& lightsDir);

} // namespace zarn::platform
