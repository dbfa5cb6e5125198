// The lock keys' state as an X display server's keyboard indicators show it: the one source that a remote,
// virtual or container session has, where the kernel knows of no keyboard lights.
#pragma once

#include "platform/LockKeys.h"

#include <mutex>
#include <optional>
#include <string>

// Xlib's connection, declared here so that its macros (None, True, Bool, ...) stay out of every includer.
struct _XDisplay;

namespace zarn::platform {

class DisplayLockKeys {
public:
    // Connects to the display `displayName` names (empty: the one DISPLAY names), once: a display that does not
    // answer now is not asked again. Any thread.
    explicit DisplayLockKeys(const std::string& displayName);
    ~DisplayLockKeys();
    DisplayLockKeys(const DisplayLockKeys&) = delete;
    DisplayLockKeys& operator=(const DisplayLockKeys&) = delete;

    // The "Caps Lock", "Num Lock" and "Scroll Lock" indicators' state (one the keyboard map does not name is
    // off); nullopt when there is no display or it has no keyboard extension. Any thread.
    std::optional<LockKeyState> Query();

private:
    // An X atom, as Xlib defines it; 0 is None.
    using Atom = unsigned long;

    // Whether the display's indicator named `name` (an atom of it, 0: no such name) is lit.
    bool IndicatorIsLit(Atom name) const;

    std::mutex m_mutex; // one request at a time on the connection
    _XDisplay* m_display = nullptr;
    Atom m_caps = 0;
    Atom m_num = 0;
    Atom m_scroll = 0;
};

} // namespace zarn::platform
