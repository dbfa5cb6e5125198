// ProgramRun on Windows: CreateProcessA with a quoted command line, an environment block of the test's own and
// inherited handles for the output files. Windows has no pseudo-terminals, so a run that asks for one is refused.
#include "tests/support/ProgramRun.h"

#include "platform/win32/CommandLineText.h"
#include "platform/win32/WindowsHeaders.h"
#include "tests/support/TempDir.h"

namespace zarn::test {

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
    ~OwnedHandle() {
        if (m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr) {
            ::CloseHandle(m_handle);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }

private:
    HANDLE m_handle;
};

HANDLE InheritableFile(const char* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

} // namespace

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& own) {
    std::vector<std::string> environment;
    char* block = ::GetEnvironmentStringsA();
    // Names of the form "=C:" (the current directory of each drive) are kept as they are.
    for (const char* entry = block; entry != nullptr && *entry != '\0'; entry += std::string_view(entry).size() + 1) {
        const std::string text = entry;
        if (!own.contains(text.substr(0, text.find('=', 1)))) {
            environment.push_back(text);
        }
    }
    if (block != nullptr) {
        ::FreeEnvironmentStringsA(block);
    }
    for (const auto& [name, value] : own) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment, const std::string& outPath,
                          const std::string& errPath, const char* terminal, const std::function<void()>& whileRunning) {
    ProgramOutcome run;
    if (terminal != nullptr) {
        run.problem = "no pseudo-terminal on Windows";
        return run;
    }
    const OwnedHandle input(InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING));
    const OwnedHandle output(InheritableFile(outPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS));
    const OwnedHandle error(InheritableFile(errPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS));
    if (!input.Valid() || !output.Valid() || !error.Valid()) {
        run.problem = "cannot open the output files of " + program;
        return run;
    }
    std::string commandLine = platform::QuotedCommandLine(program, arguments);
    std::string block;
    for (const std::string& entry : environment) {
        block += entry;
        block += '\0';
    }
    block += '\0';
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = error.Get();
    PROCESS_INFORMATION process{};
    // Under Wine a start fails now and then with ERROR_INTERNAL_ERROR while the machine is busy; the next one
    // succeeds.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                   block.data(), nullptr, &startup, &process);
        if (!started && ::GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    if (!started) {
        run.problem = "cannot start " + program + " (system error " + std::to_string(::GetLastError()) + ")";
        return run;
    }
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);
    if (whileRunning) {
        whileRunning();
    }
    if (::WaitForSingleObject(processHandle.Get(), 60000) != WAIT_OBJECT_0) {
        run.problem = program + " did not end within 60 s";
        ::TerminateProcess(processHandle.Get(), 1);
        ::WaitForSingleObject(processHandle.Get(), INFINITE);
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(processHandle.Get(), &code)) {
        run.exitCode = static_cast<int>(code);
    }
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

} // namespace zarn::test
