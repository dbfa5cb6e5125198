#include "tools/zarn-expand/mspack/Cabinet.h"

#include <utility>

namespace zarn {

namespace {

std::string ErrorText(int code) {
    switch (code) {
    case MSPACK_ERR_OPEN:
        return "cannot open it";
    case MSPACK_ERR_READ:
        return "cannot read it, or it is truncated";
    case MSPACK_ERR_WRITE:
        return "cannot write the file";
    case MSPACK_ERR_SEEK:
        return "cannot seek in it, or it is truncated";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    case MSPACK_ERR_SIGNATURE:
        return "not a cabinet";
    case MSPACK_ERR_DATAFORMAT:
        return "bad cabinet format";
    case MSPACK_ERR_CHECKSUM:
        return "bad checksum in the data";
    case MSPACK_ERR_DECRUNCH:
        return "the data does not decompress";
    default:
        return "cabinet library error " + std::to_string(code);
    }
}

} // namespace

Cabinet::Cabinet(mspack_system* system) : m_system(system) {}

Cabinet::~Cabinet() {
    if (m_decompressor != nullptr) {
        if (m_cabinet != nullptr) {
            m_decompressor->close(m_decompressor, m_cabinet);
        }
        mspack_destroy_cab_decompressor(m_decompressor);
    }
}

bool Cabinet::Open(const char* name, std::string& error) {
    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK) {
        error = "the cabinet library was built for another file offset size";
        return false;
    }
    if (m_decompressor == nullptr) {
        m_decompressor = mspack_create_cab_decompressor(m_system);
        if (m_decompressor == nullptr) {
            error = "cannot start the cabinet library";
            return false;
        }
    }
    m_cabinet = m_decompressor->open(m_decompressor, const_cast<char*>(name));
    if (m_cabinet == nullptr) {
        error = LastError();
        return false;
    }
    // A file that continues into the next cabinet (or from the previous one) cannot be extracted whole from
    // this one alone; refuse the set before anything is written rather than at its first split file.
    if ((m_cabinet->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0) {
        error = "it is one of a multi-cabinet set";
        return false;
    }
    return true;
}

std::vector<Cabinet::Entry> Cabinet::Entries() const {
    std::vector<Entry> entries;
    for (const mscabd_file* file = m_cabinet != nullptr ? m_cabinet->files : nullptr; file != nullptr;
         file = file->next) {
        entries.push_back(Entry{file, file->filename != nullptr ? file->filename : ""});
    }
    return entries;
}

bool Cabinet::Extract(const Entry& entry, const char* outputName, std::string& error) {
    const int result =
        m_decompressor->extract(m_decompressor, const_cast<mscabd_file*>(entry.file), const_cast<char*>(outputName));
    if (result != MSPACK_ERR_OK) {
        error = ErrorText(result);
        return false;
    }
    return true;
}

std::string Cabinet::LastError() const {
    return ErrorText(m_decompressor->last_error(m_decompressor));
}

} // namespace zarn
