#include "download/TargetFile.h"

#include "platform/FileSystem.h"

namespace zarn {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
}

TargetFile::~TargetFile() {
    Discard();
}

int TargetFile::Open(const std::string& path, std::uint32_t resumeOffset, unsigned long& errorCode) {
    Discard();
    m_path = path;
    m_pending.reserve(kBlockSize);
    if (resumeOffset == 0) {
        // The previous target stays untouched until the whole body is in the temporary file.
        return m_file.CreateBeside(path, m_tempPath, errorCode) ? 0 : 231;
    }
    if (!m_file.OpenForWriting(path, errorCode)) {
        return 231;
    }
    // Keep exactly the bytes before the offset: a longer file is cut, a shorter or new one is padded.
    if (!m_file.Resize(resumeOffset, errorCode) || !m_file.Seek(resumeOffset, errorCode)) {
        unsigned long ignored = 0;
        m_file.Close(ignored);
        return 233;
    }
    return 0;
}

bool TargetFile::Write(const char* data, std::size_t n, unsigned long& errorCode) {
    if (m_pending.size() + n > kBlockSize && !Flush(errorCode)) {
        return false;
    }
    if (n >= kBlockSize) {
        return m_file.Write(data, n, errorCode);
    }
    m_pending.insert(m_pending.end(), data, data + n);
    return true;
}

bool TargetFile::Flush(unsigned long& errorCode) {
    if (m_pending.empty()) {
        return true;
    }
    const bool written = m_file.Write(m_pending.data(), m_pending.size(), errorCode);
    m_pending.clear();
    return written;
}

bool TargetFile::Restart(unsigned long& errorCode) {
    m_pending.clear();
    if (m_tempPath.empty()) {
        // The server sends the whole file after all: the resumed target keeps its bytes until that
        // whole file has arrived, exactly as for a download from the start.
        unsigned long ignored = 0;
        m_file.Close(ignored);
        return m_file.CreateBeside(m_path, m_tempPath, errorCode);
    }
    return m_file.Resize(0, errorCode) && m_file.Seek(0, errorCode);
}

bool TargetFile::Commit(unsigned long& errorCode) {
    if (!Flush(errorCode) || !m_file.Close(errorCode)) {
        Discard();
        return false;
    }
    if (m_tempPath.empty()) {
        return true;
    }
    if (!platform::ReplaceFile(m_tempPath, m_path, errorCode)) {
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void TargetFile::Discard() {
    unsigned long ignored = 0;
    if (m_tempPath.empty() && m_file.IsOpen()) {
        // A resumed download keeps what arrived, so that it can be resumed again from there.
        Flush(ignored);
    }
    m_pending.clear();
    m_file.Close(ignored);
    if (!m_tempPath.empty()) {
        platform::RemoveFile(m_tempPath);
        m_tempPath.clear();
    }
}

} // namespace zarn
