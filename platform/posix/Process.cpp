#include "platform/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

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

// Owns one descriptor: closed when the object goes unless it was closed (and checked) before.
class Descriptor {
public:
    Descriptor() = default;
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    int Get() const { return m_fd; }
    // 0, or errno of a failed close (the descriptor is gone either way).
    int Close() {
        if (m_fd < 0) {
            return 0;
        }
        return ::close(std::exchange(m_fd, -1)) == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

// Reads `fd` to its end, keeping its last ProgramEnd::kOutputLimit bytes in `output`. Returns 0 or errno.
int ReadToEnd(int fd, std::string& output) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        output.append(buffer, static_cast<size_t>(got));
        if (output.size() > ProgramEnd::kOutputLimit) {
            output.erase(0, output.size() - ProgramEnd::kOutputLimit);
        }
    }
}

} // namespace

unsigned long RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         ProgramWindow /*window*/, ProgramOutput output, ProgramEnd& end) {
    // posix_spawn (not posix_spawnp) never searches PATH, but a relative path would still name a file in
    // whatever the current directory is.
    if (program.empty() || program.front() != '/') {
        return EINVAL;
    }
    SpawnActions actions;
    if (!actions.Ready()) {
        return ENOMEM;
    }
    // Both ends close on exec: the program gets the write end only as its descriptors 1 and 2.
    Descriptor readEnd;
    Descriptor writeEnd;
    if (output == ProgramOutput::Captured) {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return static_cast<unsigned long>(errno);
        }
        readEnd.Reset(ends[0]);
        writeEnd.Reset(ends[1]);
        for (const int target : {1, 2}) {
            if (const int duped = ::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), target);
                duped != 0) {
                return static_cast<unsigned long>(duped);
            }
        }
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
    end = ProgramEnd();
    // With our copy of the write end closed, the pipe ends when the program (and whatever it left running) has
    // closed its own.
    int readError = writeEnd.Close();
    if (readError == 0 && readEnd.Get() >= 0) {
        readError = ReadToEnd(readEnd.Get(), end.output);
    }
    // Waited for even after a failed read, so that no child is left behind as a zombie.
    readEnd.Close();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return static_cast<unsigned long>(errno);
        }
    }
    if (readError != 0) {
        return static_cast<unsigned long>(readError);
    }
    end.signalled = !WIFEXITED(status);
    end.code = static_cast<unsigned long>(end.signalled ? WTERMSIG(status) : WEXITSTATUS(status));
    return 0;
}

std::string DescribeProgramEnd(const ProgramEnd& end) {
    if (!end.signalled) {
        return "exited with status " + std::to_string(end.code);
    }
    std::string text = "was killed by signal " + std::to_string(end.code);
    if (const char* name = ::sigabbrev_np(static_cast<int>(end.code)); name != nullptr) {
        text += std::string(" (SIG") + name + ")";
    }
    return text;
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
