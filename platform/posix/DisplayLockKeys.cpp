#include "platform/posix/DisplayLockKeys.h"

#include <X11/XKBlib.h>
#include <type_traits>

namespace zarn::platform {

static_assert(std::is_same_v<_XDisplay*, Display*> && std::is_same_v<unsigned long, ::Atom>,
              "the header's declarations of Xlib's types must match Xlib's");

DisplayLockKeys::DisplayLockKeys(const std::string& displayName) {
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    // Asked at most once: a display named but out of reach could take a network timeout at every question.
    m_display =
        ::XkbOpenDisplay(displayName.empty() ? nullptr : displayName.c_str(), &event, &error, &major, &minor, &reason);
    if (m_display == nullptr) {
        return;
    }
    // The indicators' names as the keyboard maps give them; only_if_exists, so a map that lacks one leaves it None.
    m_caps = ::XInternAtom(m_display, "Caps Lock", True);
    m_num = ::XInternAtom(m_display, "Num Lock", True);
    m_scroll = ::XInternAtom(m_display, "Scroll Lock", True);
}

DisplayLockKeys::~DisplayLockKeys() {
    if (m_display != nullptr) {
        ::XCloseDisplay(m_display);
    }
}

std::optional<LockKeyState> DisplayLockKeys::Query() {
    const std::lock_guard lock(m_mutex);
    if (m_display == nullptr) {
        return std::nullopt;
    }
    LockKeyState state;
    state.capsLock = IndicatorIsLit(m_caps);
    state.numLock = IndicatorIsLit(m_num);
    state.scrollLock = IndicatorIsLit(m_scroll);
    return state;
}

bool DisplayLockKeys::IndicatorIsLit(Atom name) const {
    Bool lit = False;
    return name != None && ::XkbGetNamedIndicator(m_display, name, nullptr, &lit, nullptr, nullptr) == True &&
           lit == True;
}

} // namespace zarn::platform
