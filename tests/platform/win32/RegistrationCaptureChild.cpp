// The registration of one install as the launcher makes it, in a process of its own that the kill tests can have
// die at any step: `RegistrationCaptureChild LIBRARY INSTALL-ID` captures the library's DllRegisterServer and
// commits it. Exit code 0 when committed, 1 when the commit failed, 2 when nothing could be captured.
#include "platform/CrashPoint.h"
#include "platform/Library.h"
#include "platform/RegistrationCapture.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    zarn::platform::Library library;
    zarn::platform::RegistrationCapture capture;
    if (library.Load(argv[1]) != 0 || capture.Begin() != 1) {
        return 2;
    }
    library.CallEntryPoint("DllRegisterServer");
    zarn::platform::CrashPoint("test-registered");
    return capture.Commit(argv[2]) == 1 ? 0 : 1;
}
