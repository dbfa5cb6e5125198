#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zarn::platform {

FileLock::~FileLock() {
    Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
    Unlock();
    // O_CLOEXEC: an installer started during the check must not keep the lock alive after we end. O_NOFOLLOW: a
    // planted link cannot make us create or truncate a file elsewhere (nothing is ever written to it anyway).
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return {State::Failed, static_cast<unsigned long>(errno)};
    }
    // flock, not fcntl: its lock belongs to this open file, so closing some other descriptor of the same file
    // elsewhere in the process does not drop it, and a second FileLock in this process is refused as another
    // process would be.
    int rc = 0;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return {State::Busy, 0};
        }
        return {State::Failed, static_cast<unsigned long>(error)};
    }
    m_fd = fd;
    return {State::Held, 0};
}

void FileLock::Unlock() {
    if (m_fd < 0) {
        return;
    }
    // Closing the only descriptor releases the lock; there is nothing to retry on an error.
    static_cast<void>(::close(static_cast<int>(m_fd)));
    m_fd = -1;
}

} // namespace zarn::platform
