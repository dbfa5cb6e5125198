// Captures the registry writes of a component's registration code so that they take effect all together or not at
// all, and so that an update killed half way can tell at the next start whether they did.
#pragma once

#include <string>

namespace zarn::platform {

class RegistrationCapture {
public:
    RegistrationCapture() = default;
    // Abort()s a capture that was neither committed nor aborted.
    ~RegistrationCapture();
    RegistrationCapture(const RegistrationCapture&) = delete;
    RegistrationCapture& operator=(const RegistrationCapture&) = delete;

    // Starts capturing every registry write this process makes (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
    // HKEY_LOCAL_MACHINE), until Commit or Abort. UI thread. Returns 1 when capturing; 0 when the registry could not
    // be prepared (nothing is captured then and the registry is untouched).
    int Begin();

    // Applies everything captured together with the marker `installId` (a name unique to one install), so that
    // after a kill at any moment either both are in the registry or neither is (or the next Settle undoes what
    // was applied). When the user may not add classes to the machine's (a standard user), what was written to
    // HKEY_CLASSES_ROOT goes where Windows' own registration for one user puts it: HKEY_CURRENT_USER\Software\Classes.
    // Returns 1 when applied; 0 when not, the registry then exactly as before Begin.
    int Commit(const std::string& installId);

    // After a Commit that returned 0 because the system refused the user a key: that key's full name
    // ("HKEY_LOCAL_MACHINE\..."); empty otherwise.
    const std::string& RefusedKey() const { return m_refusedKey; }
    // After a Commit that returned 1: whether the classes went to this user's own, as above.
    bool ForThisUser() const { return m_forThisUser; }

    // Discards everything captured: the registry is exactly as it was before Begin.
    void Abort();

    // At start, for an install whose journal survived a kill: 1 when its registration was committed (the marker is
    // there), 0 when not, after undoing whatever a commit cut short had applied.
    static int Settle(const std::string& installId);

    // Removes the marker of `installId` once the install's journal is gone. Returns 1 when it is gone.
    static int Forget(const std::string& installId);

private:
    bool m_active = false;
    std::string m_refusedKey;
    bool m_forThisUser = false;
    std::string m_scratchName;     // Windows: the capture's key below HKCU\Software\Ostrevant\zarn\Capture
    void* m_previousRoots[3] = {}; // Windows: where the roots led before Begin (HKEY; null: the system's own)
};

} // namespace zarn::platform
