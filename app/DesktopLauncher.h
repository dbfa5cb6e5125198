// The launcher as a desktop program: what a run without switches does.
#pragma once

namespace zarn {

// Creates the application and its windows, runs the start-up and then the event loop until the main window is
// closed. Returns the process's exit code: 0 after a normal run, 1 when start-up failed. UI thread (main).
int RunDesktopLauncher(int argc, char** argv);

} // namespace zarn
