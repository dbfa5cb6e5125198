// The desktop launcher: the window, started when the command line has none of the console mode's switches.
#pragma once

namespace zarn {

// Runs the desktop launcher with the whole command line and returns the process's exit code. UI thread.
int RunDesktopLauncher(int argc, char** argv);

} // namespace zarn
