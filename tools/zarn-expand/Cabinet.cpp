#include "tools/zarn-expand/Cabinet.h"

#include "tools/zarn-expand/EntryName.h"

#include <cstdio>
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
    return true;
}

bool Cabinet::Entries(std::vector<Entry>& entries, std::string& error) const {
    entries.clear();
    std::vector<Entry> all;
    for (const mscabd_file* file = m_cabinet != nullptr ? m_cabinet->files : nullptr; file != nullptr;
         file = file->next) {
        Entry entry;
        entry.file = file;
        entry.name = file->filename != nullptr ? file->filename : "";
        EntryPath path = CheckEntryName(entry.name);
        if (path.refusal != nullptr) {
            error = "refused entry \"" + Printable(entry.name) + "\": " + path.refusal;
            return false;
        }
        entry.segments = std::move(path.segments);
        all.push_back(std::move(entry));
    }
    entries = std::move(all);
    return true;
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

std::string Cabinet::Printable(const std::string& name) {
    std::string shown;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string Cabinet::LastError() const {
    return ErrorText(m_decompressor->last_error(m_decompressor));
}

} // namespace zarn
