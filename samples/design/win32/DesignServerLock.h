// The control library's count of live objects and server locks: DllCanUnloadNow lets the system unload the library
// only when both are zero.
#pragma once

namespace quillorna {

class DesignServerLock {
public:
    // A control object was made or IClassFactory::LockServer(TRUE) was called. Any thread.
    static void Add();
    // The matching end of one Add. Any thread.
    static void Release();
    // True when no object lives and no lock is held. Any thread.
    static bool IsIdle();
};

} // namespace quillorna
