#include "platform/Process.h"

#include "WindowsHeaders.h"
#include "platform/win32/CommandLineText.h"
#include "platform/win32/PathText.h"

#include <memory>
#include <type_traits>

namespace zarn::platform {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

} // namespace

unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments, ProgramWindow window,
                         unsigned long& exitCode) {
    // With an application name CreateProcessW runs exactly that file, but a relative one would be taken from
    // the current directory.
    if (!IsAbsolutePath(program)) {
        return ERROR_BAD_PATHNAME;
    }
    const std::string commandLine = QuotedCommandLine(program, arguments);
    std::vector<wchar_t> wideProgram;
    std::vector<wchar_t> wideCommandLine;
    if (!WidenAnsi(program, wideProgram) || !WidenAnsi(commandLine, wideCommandLine)) {
        return ::GetLastError();
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const DWORD flags = window == ProgramWindow::None ? CREATE_NO_WINDOW : 0;
    // CreateProcessW may write into the command line, which is why it lives in a buffer of our own.
    if (!::CreateProcessW(wideProgram.data(), wideCommandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                          &startup, &process)) {
        return ::GetLastError();
    }
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0) {
        return ::GetLastError();
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &code)) {
        return ::GetLastError();
    }
    exitCode = code;
    return 0;
}

unsigned long ReportedExitCode(unsigned long code) {
    return code;
}

unsigned long MakeExecutable(const std::string& /*path*/) {
    // Whether a file may run follows from its name on Windows, not from a permission bit.
    return 0;
}

std::string ProgramFileName(std::string_view baseName) {
    return std::string(baseName) + ".exe";
}

} // namespace zarn::platform
