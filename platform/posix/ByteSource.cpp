#include "platform/posix/ByteSource.h"

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
    if (m_fd < 0) {
        if (length != 0) {
            std::memcpy(out.data(), m_data + offset, static_cast<size_t>(length));
        }
        return true;
    }
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A file that shrank since it was opened ends here, as does any read error.
            out.clear();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace zarn::platform
