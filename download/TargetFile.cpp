#include "download/TargetFile.h"

#include "platform/FileSystem.h"

namespace zarn {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
// A slow transfer still shows its progress on disk this often.
constexpr std::chrono::seconds kFlushInterval{1};
// A temporary file nobody holds and nobody wrote for this long was left by a process that died.
constexpr std::chrono::seconds kStaleAge{60};
} // namespace

TargetFile::~TargetFile() {
    Discard();
}

TargetFile::OpenResult TargetFile::Open(const std::string& path, std::uint32_t resumeOffset) {
    Discard();
    platform::File::RemoveStaleBeside(path, kStaleAge);
    m_path = path;
    m_pending.reserve(kBlockSize);
    m_lastFlush = std::chrono::steady_clock::now();
    unsigned long code = 0;
    if (resumeOffset == 0) {
        // The previous target stays untouched until the whole body is in the temporary file.
        if (!m_file.CreateBeside(path, m_tempPath, code)) {
            return {IDS_OPEN_FILE_FAILED, code};
        }
        return {};
    }
    if (!m_file.OpenForWriting(path, code)) {
        return {IDS_OPEN_FILE_FAILED, code};
    }
    // Keep exactly the bytes before the offset: a longer file is cut, a shorter or new one is padded.
    if (!m_file.Resize(resumeOffset, code) || !m_file.Seek(resumeOffset, code)) {
        unsigned long ignored = 0;
        m_file.Close(ignored);
        return {IDS_SEEK_FILE_FAILED, code};
    }
    return {};
}

unsigned long TargetFile::Write(const char* data, std::size_t n) {
    if (m_pending.size() + n > kBlockSize) {
        if (const unsigned long code = Flush(); code != 0) {
            return code;
        }
    }
    if (n >= kBlockSize) {
        m_lastFlush = std::chrono::steady_clock::now();
        unsigned long code = 0;
        return m_file.Write(data, n, code) ? 0 : code;
    }
    m_pending.insert(m_pending.end(), data, data + n);
    return FlushIfDue();
}

unsigned long TargetFile::FlushIfDue() {
    return std::chrono::steady_clock::now() - m_lastFlush >= kFlushInterval ? Flush() : 0;
}

unsigned long TargetFile::Flush() {
    m_lastFlush = std::chrono::steady_clock::now();
    if (m_pending.empty()) {
        return 0;
    }
    unsigned long code = 0;
    const bool written = m_file.Write(m_pending.data(), m_pending.size(), code);
    m_pending.clear();
    return written ? 0 : code;
}

unsigned long TargetFile::Restart() {
    m_pending.clear();
    unsigned long code = 0;
    if (m_tempPath.empty()) {
        // The server sends the whole file after all: the resumed target keeps its bytes until that
        // whole file has arrived, exactly as for a download from the start.
        unsigned long ignored = 0;
        m_file.Close(ignored);
        return m_file.CreateBeside(m_path, m_tempPath, code) ? 0 : code;
    }
    return m_file.Resize(0, code) && m_file.Seek(0, code) ? 0 : code;
}

unsigned long TargetFile::Commit() {
    unsigned long code = Flush();
    if (code != 0 || !m_file.Close(code)) {
        Discard();
        return code;
    }
    if (m_tempPath.empty()) {
        return 0;
    }
    if (!platform::ReplaceFile(m_tempPath, m_path, code)) {
        Discard();
        return code;
    }
    m_tempPath.clear();
    return 0;
}

void TargetFile::Discard() {
    unsigned long ignored = 0;
    if (m_tempPath.empty() && m_file.IsOpen()) {
        // A resumed download keeps what arrived, so that it can be resumed again from there.
        Flush();
    }
    m_pending.clear();
    m_file.Close(ignored);
    if (!m_tempPath.empty()) {
        platform::RemoveFile(m_tempPath);
        m_tempPath.clear();
    }
}

} // namespace zarn
