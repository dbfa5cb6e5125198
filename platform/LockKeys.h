// Whether the keyboard's lock keys are on, for the status bar's indicators.
#pragma once

namespace zarn::platform {

struct LockKeyState {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// The lock keys' state as the keyboard shows it. Any thread. All off when the system does not tell (on POSIX a
// machine without keyboard lights, such as a headless one).
LockKeyState QueryLockKeys();

} // namespace zarn::platform
