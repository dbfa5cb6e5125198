#include "platform/Process.h"

#include "WindowsHeaders.h"
#include "platform/win32/CommandLineText.h"
#include "platform/win32/PathText.h"

#include <memory>
#include <new>
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

// A process attribute list that names the one handle a child may inherit.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) : m_handle(handle) {
        SIZE_T size = 0;
        // The first call only says how large the list must be, and fails for that reason.
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.reset(new (std::nothrow) char[size]);
        m_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.get());
        if (m_list == nullptr || !::InitializeProcThreadAttributeList(m_list, 1, 0, &size)) {
            m_list = nullptr;
            return;
        }
        m_initialized = true;
        if (!::UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &m_handle, sizeof m_handle,
                                         nullptr, nullptr)) {
            m_list = nullptr;
        }
    }
    ~InheritOnly() {
        if (m_initialized) {
            ::DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.get()));
        }
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    // The list, or null when it could not be made (GetLastError says why).
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    HANDLE m_handle; // the list points at this member, which must stay in place while the list is used
    std::unique_ptr<char[]> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
    bool m_initialized = false;
};

// Reads the pipe until every write end is closed, keeping its last ProgramEnd::kOutputLimit bytes in `output`.
// Returns 0 or the system's code.
DWORD ReadToEnd(HANDLE pipe, std::string& output) {
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_BROKEN_PIPE ? 0 : error;
        }
        output.append(buffer, got);
        if (output.size() > ProgramEnd::kOutputLimit) {
            output.erase(0, output.size() - ProgramEnd::kOutputLimit);
        }
    }
}

} // namespace

unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments, ProgramWindow window,
                         ProgramOutput output, ProgramEnd& end) {
    // With an application name CreateProcessW runs exactly that file, but a relative one would be taken from
    // the current directory.
    if (!IsAbsolutePath(program)) {
        return ERROR_BAD_PATHNAME;
    }
    // CreateProcessW starts programs from paths within MAX_PATH only; a longer one is refused with the code that
    // says so, where the system would fail with a less telling one.
    if (program.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const std::string commandLine = QuotedCommandLine(program, arguments);
    std::vector<wchar_t> wideProgram;
    std::vector<wchar_t> wideCommandLine;
    if (!WidenAnsi(program, wideProgram) || !WidenAnsi(commandLine, wideCommandLine)) {
        return ::GetLastError();
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    DWORD flags = window == ProgramWindow::None ? CREATE_NO_WINDOW : 0;
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    std::unique_ptr<InheritOnly> inherited;
    if (output == ProgramOutput::Captured) {
        // Only the write end can be inherited, and the attribute list lets the child inherit that handle alone,
        // not whatever else of the launcher's happens to be inheritable.
        SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
        HANDLE pipeRead = nullptr;
        HANDLE pipeWrite = nullptr;
        if (!::CreatePipe(&pipeRead, &pipeWrite, &security, 0)) {
            return ::GetLastError();
        }
        readEnd.reset(pipeRead);
        writeEnd.reset(pipeWrite);
        if (!::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
            return ::GetLastError();
        }
        inherited = std::make_unique<InheritOnly>(writeEnd.get());
        if (inherited->Get() == nullptr) {
            return ::GetLastError();
        }
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = writeEnd.get();
        startup.StartupInfo.hStdError = writeEnd.get();
        startup.lpAttributeList = inherited->Get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line, which is why it lives in a buffer of our own.
    if (!::CreateProcessW(wideProgram.data(), wideCommandLine.data(), nullptr, nullptr, inherited ? TRUE : FALSE, flags,
                          nullptr, nullptr, &startup.StartupInfo, &process)) {
        return ::GetLastError();
    }
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    end = ProgramEnd();
    // With our copy of the write end closed, the pipe breaks once the program has closed its own.
    writeEnd.reset();
    // Waited for even after a failed read, so that the result never describes a program still running.
    const DWORD readError = readEnd ? ReadToEnd(readEnd.get(), end.output) : 0;
    if (::WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0) {
        return ::GetLastError();
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &code)) {
        return ::GetLastError();
    }
    if (readError != 0) {
        return readError;
    }
    end.code = code;
    return 0;
}

std::string DescribeProgramEnd(const ProgramEnd& end) {
    return "exited with status " + std::to_string(end.code);
}

unsigned long MakeExecutable(const std::string& /*path*/) {
    // Whether a file may run follows from its name on Windows, not from a permission bit.
    return 0;
}

std::string ProgramFileName(std::string_view baseName) {
    return std::string(baseName) + ".exe";
}

} // namespace zarn::platform
