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

// Makes the terminal on standard error take the escape sequences that move the cursor up and erase lines (VT100);
// true when it does. Any thread; false when it is no terminal or cannot take them.
bool EnableCursorMoves();

// Writes `prompt` to standard error and reads one line from standard input into `line`, without its line end.
// With `echo` false the typed characters are not shown: the terminal's echo is switched off before the prompt
// appears (so nothing typed after it is shown) and put back afterwards, keeping what was typed ahead. Blocks the
// calling thread. False at the end of the input or on a read error (`line` is then empty).
bool ReadTerminalLine(const std::string& prompt, std::string& line, bool echo);

} // namespace zarn::platform
