#include "tests/support/ServeProcess.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zarn::test {

ServeProcess::ServeProcess(const std::string& program, const std::string& root) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {program, "--root", root};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    // The first line of its output is the port.
    std::string line;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    ::close(fds[0]);
    m_port = line.empty() ? 0 : std::stoi(line);
}

ServeProcess::~ServeProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

} // namespace zarn::test
