#include "platform/LockKeys.h"

#include "platform/posix/DisplayLockKeys.h"
#include "platform/posix/LockLights.h"

namespace zarn::platform {

LockKeyState QueryLockKeys() {
    // A session on a display server asks that server: it keeps the lock state of the keyboard the user types on,
    // local or remote. Elsewhere (a text console, Wayland without X) the kernel keeps it in the keyboards' lights.
    // The connection is never closed: closing it at exit, after the server has gone, would end the process through
    // Xlib's handler of a lost connection, and the system closes it anyway.
    static DisplayLockKeys* const display = new DisplayLockKeys("");
    if (const std::optional<LockKeyState> state = display->Query()) {
        return *state;
    }
    return ReadLockLights("/sys/class/leds");
}

} // namespace zarn::platform
