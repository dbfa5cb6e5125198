// A program run as a process the way its user starts it: with an environment of the test's choosing, its output in
// files (or on a pseudo-terminal), and killed when it hangs.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zarn::test {

struct ProgramOutcome {
    int exitCode = -1; // 128 + the signal when a signal ended it
    std::string out;
    std::string err;
    std::string problem; // empty when the program started and ended by itself
};

// The test process's environment with the entries named in `own` replaced or added.
std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& own);

// Runs `program` with `arguments` in `environment`. Standard output goes to the file `outPath`; standard input and
// standard error go to `terminal` when it is given (a pseudo-terminal's other side, and `err` stays empty), else to
// the null device and the file `errPath`. `whileRunning` runs in the test while the program runs. A program still
// running after 60 s is killed, so a hang fails its test rather than holding the suite until its time-out.
ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment, const std::string& outPath,
                          const std::string& errPath, const char* terminal = nullptr,
                          const std::function<void()>& whileRunning = {});

} // namespace zarn::test
