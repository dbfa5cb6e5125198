// Bounded random access to the bytes of an untrusted file or memory range, for the version readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn::platform {

class ByteSource {
public:
    // Largest range one Read hands out: no structure of a version-bearing file needs more.
    static constexpr uint64_t kMaxRead = 64ull * 1024 * 1024;
    // Bytes a file source reads at once: the readers walk headers and resource trees in many small steps that
    // mostly lie close together, and a small file is read whole by its first Read.
    static constexpr uint64_t kWindow = 16 * 1024;

    // A source over `size` bytes at `data`, which must outlive it. Any thread.
    ByteSource(const uint8_t* data, size_t size);
    // A source over the regular file at `path`; IsOpen() is false when it cannot be opened or is no regular file.
    // Reads are served from one window of the file read ahead, so one source is for one thread at a time.
    explicit ByteSource(const std::string& path);
    ~ByteSource();
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // True when the source can be read. Any thread.
    bool IsOpen() const { return m_open; }
    // Number of bytes in the source (0 when not open).
    uint64_t Size() const { return m_size; }
    // Reads exactly `length` bytes at `offset` into `out`; false (out emptied) when the range leaves the source,
    // is larger than kMaxRead, or the read fails.
    bool Read(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) const;
    // True when [offset, offset + length) lies inside the source, without overflow.
    bool Contains(uint64_t offset, uint64_t length) const;

private:
    // Reads up to `length` bytes of the file at `offset` into `out`; the number read, less than `length` when the
    // file ends before (it shrank since it was opened) or a read fails.
    size_t ReadFileRange(uint64_t offset, uint8_t* out, size_t length) const;

    const uint8_t* m_data = nullptr;
    int m_fd = -1;
    uint64_t m_size = 0;
    bool m_open = false;
    // The bytes of the file last read ahead, from m_windowOffset on.
    mutable std::vector<uint8_t> m_window;
    mutable uint64_t m_windowOffset = 0;
};

} // namespace zarn::platform
