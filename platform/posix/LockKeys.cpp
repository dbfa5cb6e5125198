#include "platform/LockKeys.h"

#include "platform/posix/LockLights.h"

namespace zarn::platform {

LockKeyState QueryLockKeys() {
    // The kernel keeps the lock keys' state in the keyboards' lights, the same for the console, X11 and Wayland.
    return ReadLockLights("/sys/class/leds");
}

} // namespace zarn::platform
