// The launcher as a desktop program: what a run without switches does.
#pragma once

namespace zarn {

// Creates the application and its windows, runs the start-up and then the event loop until the main window is
// closed. Returns the process's exit code: 0 after a normal run, 1 when start-up failed or the window cannot be
// loaded. UI thread (main).
int RunDesktopLauncher(int argc, char** argv);

} // namespace zarn

// The desktop module's one export (RunDesktopLauncher of the window's build). The window lives in a module of its
// own beside the executable, loaded only by a run without console switches, so --check and --update start without
// loading Qt's GUI libraries at all.
extern "C" int ZarnRunDesktopLauncher(int argc, char** argv);
