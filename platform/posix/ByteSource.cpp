#include "platform/posix/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::platform {

ByteSource::ByteSource(const uint8_t* data, size_t size)
    : m_data(data), m_size(data != nullptr ? size : 0), m_open(data != nullptr || size == 0) {}

ByteSource::ByteSource(const std::string& path) {
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; only regular files are read.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        return;
    }
    m_size = static_cast<uint64_t>(st.st_size);
    m_open = true;
}

ByteSource::~ByteSource() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool ByteSource::Contains(uint64_t offset, uint64_t length) const {
    return m_open && offset <= m_size && length <= m_size - offset;
}

bool ByteSource::Read(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) const {
    out.clear();
    if (length > kMaxRead || !Contains(offset, length)) {
        return false;
    }
    out.resize(static_cast<size_t>(length));
    if (length == 0) {
        return true;
    }
    if (m_fd < 0) {
        std::memcpy(out.data(), m_data + offset, static_cast<size_t>(length));
        return true;
    }
    const bool inWindow =
        offset >= m_windowOffset && length <= m_window.size() && offset - m_windowOffset <= m_window.size() - length;
    if (!inWindow && length <= kWindow) {
        // The window starts at the range asked for: the readers mostly step forward from there.
        m_window.resize(static_cast<size_t>(std::min(kWindow, m_size - offset)));
        const size_t got = ReadFileRange(offset, m_window.data(), m_window.size());
        m_window.resize(got);
        m_windowOffset = offset;
        if (got < length) {
            out.clear();
            return false;
        }
    } else if (!inWindow) {
        if (ReadFileRange(offset, out.data(), out.size()) < out.size()) {
            out.clear();
            return false;
        }
        return true;
    }
    std::memcpy(out.data(), m_window.data() + (offset - m_windowOffset), static_cast<size_t>(length));
    return true;
}

size_t ByteSource::ReadFileRange(uint64_t offset, uint8_t* out, size_t length) const {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A file that shrank since it was opened ends here, as does any read error.
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

} // namespace zarn::platform
