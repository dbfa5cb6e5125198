// Starting a program by its absolute path and waiting for it to end: installers and the cabinet expander.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarn::platform {

// Whether the started program may show windows of its own.
enum class ProgramWindow {
    Own,  // an installer: its windows are the user's to see
    None, // a console tool: no console window appears (CREATE_NO_WINDOW on Windows)
};

// Starts `program`, an absolute path that is never looked up through a search path, with `arguments` after the
// program name (an argument vector on POSIX, never a shell; a command line with every part quoted on Windows),
// no inherited handles, the caller's environment and current directory, and waits for it without a time limit.
// Returns 0 with the program's exit code in `exitCode` (on POSIX a program killed by signal n reports 128 + n), or
// the system's code when it could not be started or waited for. Blocks the calling thread.
[[nodiscard]] unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                       ProgramWindow window, unsigned long& exitCode);

// The exit code RunProgram reports for a program that ends with `code`: `code` itself on Windows, its low eight
// bits on POSIX, where an exit status holds no more. Any thread; never fails.
unsigned long ReportedExitCode(unsigned long code);

// Lets the owner read and run the file at `path` (a downloaded program), keeping its other permissions; nothing
// to do on Windows. Returns 0, or the system's code when the permissions could not be changed. Any thread.
[[nodiscard]] unsigned long MakeExecutable(const std::string& path);

// The file name of the program called `baseName` on this system ("zarn-expand", "zarn-expand.exe"). Any thread.
std::string ProgramFileName(std::string_view baseName);

} // namespace zarn::platform
