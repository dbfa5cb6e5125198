#include "platform/LockKeys.h"

#include "WindowsHeaders.h"

namespace zarn::platform {

LockKeyState QueryLockKeys() {
    // The low bit of a toggle key's state is its toggled state.
    LockKeyState state;
    state.capsLock = (::GetKeyState(VK_CAPITAL) & 1) != 0;
    state.numLock = (::GetKeyState(VK_NUMLOCK) & 1) != 0;
    state.scrollLock = (::GetKeyState(VK_SCROLL) & 1) != 0;
    return state;
}

} // namespace zarn::platform
