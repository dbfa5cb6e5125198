// The terminal the console mode talks to: whether a standard stream is one, its width, and reading a line from
// it with or without echo (for a password).
#pragma once

#include <string>

namespace zarn::platform {

enum class StandardStream { Input, Output, Error };

// True when `stream` is connected to a terminal (a console window on Windows), not a file or a pipe. Any thread;
// false when the system cannot tell.
bool IsTerminal(StandardStream stream);

// The number of columns of the terminal on standard error; 0 when it is no terminal or the system cannot tell.
// Any thread.
int TerminalColumns();

// Reads one line from standard input into `line`, without its line end. With `echo` false the typed characters
// are not shown while the line is read (the terminal's echo is switched off and put back afterwards). Blocks the
// calling thread. False at the end of the input or on a read error (`line` is then empty).
bool ReadTerminalLine(std::string& line, bool echo);

} // namespace zarn::platform
