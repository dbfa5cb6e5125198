// Starting a program by its absolute path and waiting for it to end: installers and the cabinet expander.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::platform {

// Whether the started program may show windows of its own.
enum class ProgramWindow {
    Own,  // an installer: its windows are the user's to see
    None, // a console tool: no console window appears (CREATE_NO_WINDOW on Windows)
};

// Where the started program's standard output and standard error go.
enum class ProgramOutput {
    Own,      // wherever the launcher's go on POSIX; nowhere on Windows, where no handle is inherited
    Captured, // into ProgramEnd::output through a pipe, the only handle the program inherits
};

// How a program that RunProgram waited for ended.
struct ProgramEnd {
    // The most of a program's output that ProgramEnd::output keeps: its last bytes, where its final messages are.
    static constexpr std::size_t kOutputLimit = 4096;

    bool signalled = false; // ended by a signal (POSIX only), whose number `code` then is
    unsigned long code = 0; // the exit status: the low eight bits of exit() on POSIX, the whole exit code on Windows
    std::string output;     // with ProgramOutput::Captured, the last kOutputLimit bytes of standard output and error

    bool ExitedWith(unsigned long status) const { return !signalled && code == status; }
};

// Starts `program`, an absolute path that is never looked up through a search path, with `arguments` after the
// program name (an argument vector on POSIX, never a shell; a command line with every part quoted on Windows),
// the caller's environment and current directory, no inherited handle but the output pipe when `output` is
// Captured, and waits for it (and for its output to close) without a time limit. Returns 0 with how it ended in
// `end`, or the system's code when it could not be started or waited for (ERROR_FILENAME_EXCED_RANGE on Windows
// for a program path the system cannot start from). Blocks the calling thread.
[[nodiscard]] unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                       ProgramWindow window, ProgramOutput output, ProgramEnd& end);

// "exited with status 194", or on POSIX "was killed by signal 9 (SIGKILL)". Any thread; never fails.
std::string DescribeProgramEnd(const ProgramEnd& end);

// Lets the owner read and run the file at `path` (a downloaded program), keeping its other permissions; nothing
// to do on Windows. Returns 0, or the system's code when the permissions could not be changed. Any thread.
[[nodiscard]] unsigned long MakeExecutable(const std::string& path);

// The file name of the program called `baseName` on this system ("zarn-expand", "zarn-expand.exe"). Any thread.
std::string ProgramFileName(std::string_view baseName);

} // namespace zarn::platform
