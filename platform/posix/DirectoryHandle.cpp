#include "platform/DirectoryHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// O_NOFOLLOW makes a link at the name fail the open (ELOOP) instead of opening what it points to.
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

} // namespace

unsigned long DirectoryHandle::Close() {
    if (m_handle == -1 || ::close(Native(std::exchange(m_handle, -1))) == 0) {
        return 0;
    }
    return Errno();
}

unsigned long DirectoryHandle::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), kDirectoryFlags);
    if (fd < 0) {
        return Errno();
    }
    m_handle = fd;
    return 0;
}

unsigned long DirectoryHandle::OpenChild(const std::string& name, DirectoryHandle& child, bool& made) {
    made = ::mkdirat(Native(m_handle), name.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        return Errno();
    }
    const int fd = ::openat(Native(m_handle), name.c_str(), kDirectoryFlags);
    if (fd < 0) {
        return Errno();
    }
    child.Close();
    child.m_handle = fd;
    return 0;
}

unsigned long DirectoryHandle::KindOf(const std::string& name, Kind& kind) const {
    struct stat st {};
    if (::fstatat(Native(m_handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            return Errno();
        }
        kind = Kind::Missing;
        return 0;
    }
    kind = S_ISLNK(st.st_mode) ? Kind::Link : S_ISDIR(st.st_mode) ? Kind::Directory : Kind::File;
    return 0;
}

unsigned long DirectoryHandle::CreateBeside(const std::string& name, File& file, std::string& createdName) {
    file.Close();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = name + UniqueFileSuffix();
        const int fd =
            ::openat(Native(m_handle), candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Errno();
        }
        // As File::CreateBeside: the lock marks the file in use, and a replaced regular file's permissions
        // carry over (never a link's, nor what it points to).
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
            (::fstatat(Native(m_handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
             ::fchmod(fd, st.st_mode & 07777) != 0)) {
            const unsigned long code = Errno();
            ::close(fd);
            ::unlinkat(Native(m_handle), candidate.c_str(), 0);
            return code;
        }
        file.m_fd = fd;
        createdName = std::move(candidate);
        return 0;
    }
    return EEXIST;
}

unsigned long DirectoryHandle::Replace(const std::string& from, const std::string& to) {
    if (::renameat(Native(m_handle), from.c_str(), Native(m_handle), to.c_str()) != 0) {
        return Errno();
    }
    return 0;
}

unsigned long DirectoryHandle::RemoveFile(const std::string& name) {
    if (::unlinkat(Native(m_handle), name.c_str(), 0) != 0) {
        return Errno();
    }
    return 0;
}

unsigned long DirectoryHandle::RemoveEmptyDirectory(const std::string& name) {
    if (::unlinkat(Native(m_handle), name.c_str(), AT_REMOVEDIR) != 0) {
        return Errno();
    }
    return 0;
}

unsigned long DirectoryHandle::FreeSpace(std::uint64_t& bytes) const {
    struct statvfs st {};
    if (::fstatvfs(Native(m_handle), &st) != 0) {
        return Errno();
    }
    bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return 0;
}

} // namespace zarn::platform
