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

TargetFile::OpenResult TargetFile::Open(const std::string& path, std::uint64_t resumeOffset) {
    Discard();
    platform::File::RemoveStaleBeside(path, kStaleAge);
    m_path = path;
    m_pending.reserve(kBlockSize);
    m_lastFlush = std::chrono::steady_clock::now();
    if (resumeOffset == 0) {
        // The previous target stays untouched until the whole body is in the temporary file.
        if (const unsigned long code = m_file.CreateBeside(path, m_tempPath); code != 0) {
            return {IDS_OPEN_FILE_FAILED, code};
        }
        return {};
    }
    if (const unsigned long code = m_file.OpenForWriting(path); code != 0) {
        return {IDS_OPEN_FILE_FAILED, code};
    }
    // Keep exactly the bytes before the offset: a longer file is cut, a shorter or new one is padded.
    unsigned long code = m_file.Resize(resumeOffset);
    if (code == 0) {
        code = m_file.Seek(resumeOffset);
    }
    if (code != 0) {
        m_file.Close();
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
        return m_file.Write(data, n);
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
    const unsigned long code = m_file.Write(m_pending.data(), m_pending.size());
    m_pending.clear();
    return code;
}

unsigned long TargetFile::Restart() {
    m_pending.clear();
    if (m_tempPath.empty()) {
        // The server sends the whole file after all: the resumed target keeps its bytes until that
        // whole file has arrived, exactly as for a download from the start.
        m_file.Close();
        return m_file.CreateBeside(m_path, m_tempPath);
    }
    const unsigned long code = m_file.Resize(0);
    return code != 0 ? code : m_file.Seek(0);
}

unsigned long TargetFile::Commit() {
    unsigned long code = Flush();
    if (code == 0) {
        code = m_file.Close();
    }
    if (code != 0) {
        Discard();
        return code;
    }
    if (m_tempPath.empty()) {
        return 0;
    }
    if (code = platform::ReplaceFile(m_tempPath, m_path); code != 0) {
        Discard();
        return code;
    }
    m_tempPath.clear();
    return 0;
}

void TargetFile::RemoveLeftoversIn(const std::string& directory) {
    // Only a download that is just being created can be unheld and still in use, and none can be outside the lock
    // this caller holds: every unheld temporary is a leftover, whatever its age.
    platform::File::RemoveStaleIn(directory, std::chrono::seconds{0});
}

void TargetFile::Discard() {
    if (m_tempPath.empty() && m_file.IsOpen()) {
        // A resumed download keeps what arrived, so that it can be resumed again from there.
        Flush();
    }
    m_pending.clear();
    m_file.Close();
    if (!m_tempPath.empty()) {
        platform::RemoveFile(m_tempPath);
        m_tempPath.clear();
    }
}

} // namespace zarn
