// The POSIX cabinet reader: libmspack through zarn's Cabinet, its output going only to the caller's files.
#include "tools/zarn-expand/CabinetReader.h"
#include "tools/zarn-expand/mspack/Cabinet.h"
#include "tools/zarn-expand/mspack/DiskSystem.h"

namespace zarn {

struct CabinetReader::State {
    DiskSystem disk;
    Cabinet cabinet{disk.Table()};
    std::vector<Cabinet::Entry> entries;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
};

CabinetReader::CabinetReader() : m_state(std::make_unique<State>()) {}

CabinetReader::~CabinetReader() = default;

bool CabinetReader::Open(const std::string& path, std::string& error) {
    if (!m_state->cabinet.Open(path.c_str(), error)) {
        return false;
    }
    m_state->entries = m_state->cabinet.Entries();
    for (const Cabinet::Entry& entry : m_state->entries) {
        m_state->names.push_back(entry.name);
        m_state->sizes.push_back(entry.file->length);
    }
    return true;
}

const std::vector<std::string>& CabinetReader::Names() const {
    return m_state->names;
}

const std::vector<std::uint64_t>& CabinetReader::Sizes() const {
    return m_state->sizes;
}

bool CabinetReader::ExtractAll(const std::vector<zarn::platform::File*>& outputs, Failure& failure) {
    // The output names are only keys between this loop and DiskSystem, which never opens a path for writing.
    const std::string outputName = "entry output";
    if (outputs.size() != m_state->entries.size()) {
        failure.reason = "not one output file for each entry";
        return false;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        m_state->disk.Expect(outputName, *outputs[i], m_state->sizes[i]);
        const bool extracted = m_state->cabinet.Extract(m_state->entries[i], outputName.c_str(), failure.reason);
        failure.entry = i;
        failure.writeError = m_state->disk.TakeOutputError();
        if (m_state->disk.TakeOverrun()) {
            failure.reason = "its data is longer than its declared size";
            return false;
        }
        if (failure.writeError != 0 || !extracted) {
            return false;
        }
    }
    return true;
}

} // namespace zarn
