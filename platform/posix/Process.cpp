#include "platform/Process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarn::platform {

namespace {

// Owns the file actions of one posix_spawn call.
class SpawnActions {
public:
    SpawnActions() : m_ready(::posix_spawn_file_actions_init(&m_actions) == 0) {}
    ~SpawnActions() {
        if (m_ready) {
            ::posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool Ready() const { return m_ready; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ready;
};

} // namespace

unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         ProgramWindow /*window*/, unsigned long& exitCode) {
    // posix_spawn (not posix_spawnp) never searches PATH, but a relative path would still name a file in
    // whatever the current directory is.
    if (program.empty() || program.front() != '/') {
        return EINVAL;
    }
    SpawnActions actions;
    if (!actions.Ready()) {
        return ENOMEM;
    }
    // Descriptors a library opened without close-on-exec must not reach an installer either.
    const int closing = ::posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3);
    if (closing != 0) {
        return static_cast<unsigned long>(closing);
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ);
    if (spawned != 0) {
        return static_cast<unsigned long>(spawned);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return static_cast<unsigned long>(errno);
        }
    }
    if (WIFEXITED(status)) {
        exitCode = static_cast<unsigned long>(WEXITSTATUS(status));
    } else {
        // Killed by a signal: the shell's numbering, never 0, so no caller takes it for success.
        exitCode = 128ul + static_cast<unsigned long>(WTERMSIG(status));
    }
    return 0;
}

unsigned long ReportedExitCode(unsigned long code) {
    return code & 0xFFul;
}

unsigned long MakeExecutable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return static_cast<unsigned long>(errno);
    }
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IXUSR) != 0) {
        return static_cast<unsigned long>(errno);
    }
    return 0;
}

std::string ProgramFileName(std::string_view baseName) {
    return std::string(baseName);
}

} // namespace zarn::platform
