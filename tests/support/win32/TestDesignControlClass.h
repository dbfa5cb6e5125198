// A design control class for the Win32 view's tests: a small but real in-process ActiveX control (IOleObject,
// IOleInPlaceObject with IOleWindow, IPersistStreamInit) whose window is made through the in-place site its
// container gives it. While an object of this class lives, COM makes the control for its class identifier in this
// thread's apartment, as it would from a registered in-process server; without one the class is unknown to COM.
#pragma once

#include <string>
#include <windows.h>

namespace zarn::test {

class TestDesignControlClass {
public:
    // Makes `classId` (registry form) known to COM on this thread, which must have initialised OLE. Check
    // Registered().
    explicit TestDesignControlClass(const std::string& classId);
    // Makes the class unknown again; controls already made live on.
    ~TestDesignControlClass();
    TestDesignControlClass(const TestDesignControlClass&) = delete;
    TestDesignControlClass& operator=(const TestDesignControlClass&) = delete;

    bool Registered() const { return m_cookie != 0; }

    // Controls made so far in this process, and those not yet released.
    static int Made();
    static int Alive();
    // The newest control's own window (null while none is in place), and the position its container gave it last
    // through SetObjectRects.
    static HWND Window();
    static RECT ObjectRect();

private:
    DWORD m_cookie = 0;
};

} // namespace zarn::test
