#include "platform/File.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zarn::platform {

namespace {

unsigned long Errno() {
    return static_cast<unsigned long>(errno);
}

int Native(std::intptr_t fd) {
    return static_cast<int>(fd);
}

} // namespace

unsigned long File::OpenForWriting(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Errno();
    }
    m_fd = fd;
    return 0;
}

unsigned long File::CreateBeside(const std::string& path, std::string& createdPath) {
    Close();
    // O_EXCL makes the name ours; 0666 lets the umask decide the permissions as for any new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = path + UniqueFileSuffix();
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Errno();
        }
        // The lock marks the file as in use for its whole life (RemoveUnheld); it belongs to this open
        // file and goes with its last descriptor, also when the process dies. The replacement keeps
        // what the target allowed (an installed program stays executable).
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
            (::stat(path.c_str(), &st) == 0 && ::fchmod(fd, st.st_mode & 07777) != 0)) {
            const unsigned long code = Errno();
            ::close(fd);
            ::unlink(candidate.c_str());
            return code;
        }
        m_fd = fd;
        createdPath = std::move(candidate);
        return 0;
    }
    return EEXIST;
}

unsigned long File::Resize(std::uint64_t length) {
    if (::ftruncate(Native(m_fd), static_cast<off_t>(length)) != 0) {
        return Errno();
    }
    return 0;
}

unsigned long File::Seek(std::uint64_t offset) {
    if (::lseek(Native(m_fd), static_cast<off_t>(offset), SEEK_SET) < 0) {
        return Errno();
    }
    return 0;
}

unsigned long File::Write(const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t written = ::write(Native(m_fd), data, n);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Errno();
        }
        data += written;
        n -= static_cast<std::size_t>(written);
    }
    return 0;
}

unsigned long File::Sync() {
    if (::fsync(Native(m_fd)) != 0) {
        return Errno();
    }
    return 0;
}

unsigned long File::Close() {
    if (m_fd < 0) {
        return 0;
    }
    // close() releases the descriptor even when it reports an error, so it is never retried.
    const int result = ::close(Native(std::exchange(m_fd, -1)));
    if (result != 0) {
        return Errno();
    }
    return 0;
}

bool File::RemoveUnheld(const std::string& path) {
    File probe;
    probe.m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (probe.m_fd < 0) {
        return false;
    }
    // Held while the lock is ours, so no writer can still be using the file when it goes.
    return ::flock(Native(probe.m_fd), LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0;
}

unsigned long ReplaceFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return Errno();
    }
    return 0;
}

} // namespace zarn::platform
