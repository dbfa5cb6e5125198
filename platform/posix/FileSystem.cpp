#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zarn::platform {

char PathSeparator() {
    return '/';
}

std::string ExecutablePath() {
    // readlink does not say whether the buffer was large enough, so grow until the answer fits.
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

// The XDG folder named by `variable`, else `fallback` below the home folder; empty without either. A relative
// value is ignored, as the XDG folders' convention asks: a folder relative to wherever the program happens to run
// would move with it.
std::string XdgDirectory(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        return {};
    }
    return std::string(home) + fallback;
}

} // namespace

std::string UserStateDirectory() {
    return XdgDirectory("XDG_STATE_HOME", "/.local/state");
}

std::string UserConfigDirectory() {
    return XdgDirectory("XDG_CONFIG_HOME", "/.config");
}

bool CreateDirectoryOne(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> LongPathName(const std::string& path) {
    // POSIX has no short names: an existing path is already in its long form.
    if (path.empty() || !PathExists(path)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    // lstat, not stat: a dangling link exists as an entry, and must reach realpath (and fail there) instead of
    // passing as a missing name that would be appended as it stands.
    std::string head = path;
    std::vector<std::string> missing;
    for (;;) {
        struct stat st {};
        if (::lstat(head.c_str(), &st) == 0) {
            break;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || head == "/" || head == ".") {
            return std::nullopt;
        }
        while (head.size() > 1 && head.back() == '/') {
            head.pop_back();
        }
        const size_t slash = head.rfind('/');
        missing.push_back(slash == std::string::npos ? head : head.substr(slash + 1));
        head = slash == std::string::npos ? "." : (slash == 0 ? "/" : head.substr(0, slash));
    }
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(head.c_str(), nullptr), &std::free);
    if (!real) {
        return std::nullopt;
    }
    std::string result = real.get();
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (it->empty() || *it == ".") {
            continue;
        }
        if (*it == "..") {
            // The name before it does not exist, so the system would refuse the path; going up lexically can
            // only give a path at or above that point, never one a link would lead elsewhere.
            const size_t slash = result.rfind('/');
            result.resize(slash == 0 ? 1 : slash);
            continue;
        }
        if (result.back() != '/') {
            result += '/';
        }
        result += *it;
    }
    return result;
}

std::optional<std::string> PathOfFileUrl(const std::string& host, const std::string& path) {
    // A share is reached through where it is mounted, never through the URL's host.
    if ((!host.empty() && host != "localhost") || path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    return path;
}

std::string FileUrlOfPath(const std::string& path) {
    std::string url = "file://";
    for (const char c : path) {
        url += c == '%' ? std::string("%25") : std::string(1, c);
    }
    return url;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

unsigned long RenameFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return static_cast<unsigned long>(errno);
    }
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing name just as well, and the old
    // name goes once the new one stands.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return static_cast<unsigned long>(errno);
    }
    if (::unlink(from.c_str()) != 0) {
        const unsigned long code = static_cast<unsigned long>(errno);
        ::unlink(to.c_str());
        return code;
    }
    return 0;
}

unsigned long SyncDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return static_cast<unsigned long>(errno);
    }
    const unsigned long code = ::fsync(fd) == 0 ? 0 : static_cast<unsigned long>(errno);
    ::close(fd);
    return code;
}

std::string ExtendedLengthPath(const std::string& path) {
    return path;
}

bool IsPathTooLongError(unsigned long code) {
    return code == ENAMETOOLONG;
}

bool IsAccessDeniedError(unsigned long code) {
    return code == EACCES || code == EPERM || code == EROFS;
}

unsigned long LastErrorCode() {
    return static_cast<unsigned long>(errno);
}

} // namespace zarn::platform
