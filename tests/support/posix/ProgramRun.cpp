#include "tests/support/ProgramRun.h"

#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zarn::test {

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& own) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!own.contains(text.substr(0, text.find('=')))) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : own) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment, const std::string& outPath,
                          const std::string& errPath, const char* terminal, const std::function<void()>& whileRunning) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, terminal ? terminal : "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, terminal ? terminal : errPath.c_str(),
                                     terminal ? O_RDWR : O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = environment;
    std::vector<char*> argv, envp;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    ProgramOutcome run;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.problem = "cannot start " + program;
        return run;
    }
    if (whileRunning) {
        whileRunning();
    }
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            run.problem = program + " did not end within 60 s";
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    run.err = terminal ? std::string() : ReadFile(errPath);
    return run;
}

} // namespace zarn::test
