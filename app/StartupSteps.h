// The start-up steps that need no window: the application directory, the command line's document and the
// start file that hands that document to the design control.
#pragma once

#include <string>
#include <vector>

namespace zarn {

// The directory of `executablePath` with its trailing separator: everything up to and including the last
// `separator`, whatever the executable is called. Any thread. Empty when the path holds no separator.
std::string AppDirectoryFromExecutablePath(const std::string& executablePath, char separator);

// The running executable's directory with the platform's trailing separator. Any thread. Empty when the system
// cannot tell the executable's path.
std::string InitAppDirectory();

// The document named by the command line `arguments` (without the program name): the first non-empty argument
// that is no switch and not the value of a switch that takes one ("--server URL", "--ca-file FILE"). Any thread. Empty
// when there is none.
std::string DocumentFromCommandLine(const std::vector<std::string>& arguments);

// The start file's path: `appDir` + "temp" + separator + "startfile.txt". Any thread.
std::string StartFilePath(const std::string& appDir);

// Writes `documentPath` into the start file, exactly its bytes with no line end, replacing what was there; the
// temp folder is never created. UI thread. Returns 1 when written; 0 when `documentPath` is empty (nothing is
// touched) or the file could not be written.
int WriteStartFile(const std::string& appDir, const std::string& documentPath);

} // namespace zarn
