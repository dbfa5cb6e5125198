#include "download/TargetFile.h"

#include "platform/FileSystem.h"

namespace zarn {

TargetFile::~TargetFile() {
    Discard();
}

int TargetFile::Open(const std::string& path, std::uint32_t resumeOffset, unsigned long& errorCode) {
    Discard();
    m_path = path;
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
    return m_file.Write(data, n, errorCode);
}

bool TargetFile::Restart(unsigned long& errorCode) {
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
    if (!m_file.Close(errorCode)) {
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
    m_file.Close(ignored);
    if (!m_tempPath.empty()) {
        platform::RemoveFile(m_tempPath);
        m_tempPath.clear();
    }
}

} // namespace zarn
