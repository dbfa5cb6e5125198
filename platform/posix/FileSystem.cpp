#include "platform/FileSystem.h"

#include <cerrno>
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

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

unsigned long LastErrorCode() {
    return static_cast<unsigned long>(errno);
}

} // namespace zarn::platform
