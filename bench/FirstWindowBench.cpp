// Times the desktop launcher's start on Windows as its user starts it: starts QuillornaCC.exe (in its own
// directory, with the arguments given) RUNS times and for each run prints the time from the process's creation to
// its first visible top-level window (whatever it is: the frame, or the box that says the list is missing) and
// the process's peak working set a moment later, when the window's start-up has settled; then the best, the
// median and the largest peak. Each run's launcher is ended once measured.
// Usage: FirstWindowBench RUNS PATH-TO-QuillornaCC.exe [ARGUMENTS...]
// psapi.h needs windows.h's types first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 30000;
// How long the launcher runs on after its first window before its peak memory is read.
constexpr DWORD kSettleMs = 500;

struct Search {
    DWORD process;
    bool found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search.process && IsWindowVisible(window)) {
        search.found = true;
        return FALSE;
    }
    return TRUE;
}

struct Run {
    double ms;
    SIZE_T peakBytes;
};

// One run; false (with the reason on stderr) when the launcher does not start or shows no window in time.
bool TimeOneRun(const std::wstring& exe, const std::wstring& arguments, Run& run) {
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency;
    LARGE_INTEGER started;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        std::filesystem::path(exe).parent_path().wstring().c_str(), &startup, &process)) {
        std::fprintf(stderr, "FirstWindowBench: cannot start the launcher (error %lu)\n", GetLastError());
        return false;
    }
    Search search{process.dwProcessId, false};
    LARGE_INTEGER shown{};
    for (DWORD waited = 0; waited < kWaitMs && !search.found; ++waited) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&shown);
        if (!search.found) {
            if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
                break;
            }
        }
    }
    bool measured = false;
    if (search.found) {
        run.ms =
            1000.0 * static_cast<double>(shown.QuadPart - started.QuadPart) / static_cast<double>(frequency.QuadPart);
        WaitForSingleObject(process.hProcess, kSettleMs);
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
            run.peakBytes = memory.PeakWorkingSetSize;
            measured = true;
        } else {
            std::fprintf(stderr, "FirstWindowBench: cannot read the launcher's memory (error %lu)\n", GetLastError());
        }
    } else if (DWORD code = 0; GetExitCodeProcess(process.hProcess, &code) && code != STILL_ACTIVE) {
        std::fprintf(stderr, "FirstWindowBench: the launcher ended with exit code %lu before any window\n", code);
    } else {
        std::fputs("FirstWindowBench: the launcher showed no window (is Wine's display driver set?)\n", stderr);
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && !TerminateProcess(process.hProcess, 99)) {
        std::fprintf(stderr, "FirstWindowBench: cannot end the launcher (error %lu)\n", GetLastError());
        measured = false;
    }
    WaitForSingleObject(process.hProcess, kWaitMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return measured;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc >= 3 ? _wtoi(argv[1]) : 0;
    if (runs <= 0) {
        std::fputs("usage: FirstWindowBench RUNS PATH-TO-QuillornaCC.exe [ARGUMENTS...]\n", stderr);
        return 2;
    }
    const std::wstring exe = std::filesystem::absolute(argv[2]).wstring();
    std::wstring arguments;
    for (int i = 3; i < argc; ++i) {
        arguments += (i > 3 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    }
    std::vector<Run> results;
    for (int i = 1; i <= runs; ++i) {
        Run run{};
        if (!TimeOneRun(exe, arguments, run)) {
            return 1;
        }
        std::printf("  run %2d: first window after %6.1f ms, peak working set %6.1f MiB\n", i, run.ms,
                    static_cast<double>(run.peakBytes) / (1024.0 * 1024.0));
        results.push_back(run);
    }
    std::sort(results.begin(), results.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    const size_t n = results.size();
    const double median = n % 2 ? results[n / 2].ms : (results[n / 2 - 1].ms + results[n / 2].ms) / 2;
    SIZE_T peak = 0;
    for (const auto& run : results) {
        peak = std::max(peak, run.peakBytes);
    }
    std::printf("best %.1f ms, median %.1f ms to the first window; peak working set at most %.1f MiB\n",
                results.front().ms, median, static_cast<double>(peak) / (1024.0 * 1024.0));
    return 0;
}
