// Feeds arbitrary bytes to the component list reader, as a downloaded list file could hold them, and checks that
// the records it yields are sound whatever the input and however the bytes arrive.
#include "components/ComponentListReader.h"
#include "components/InstallPathCheck.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool SameRecord(const zarn::CCompObj& a, const zarn::CCompObj& b) {
    return a.m_desc == b.m_desc && a.m_name == b.m_name && a.m_status == b.m_status && a.m_classId == b.m_classId &&
           a.m_majorVer == b.m_majorVer && a.m_minorVer == b.m_minorVer && a.m_custNum == b.m_custNum &&
           a.m_buildNum == b.m_buildNum && a.m_codebase == b.m_codebase && a.m_dir == b.m_dir &&
           a.m_regFile == b.m_regFile && a.m_installType == b.m_installType && a.m_fileName == b.m_fileName;
}

size_t Count(std::string_view text, std::string_view word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    zarn::ComponentList whole;
    std::vector<std::string> wholeDirs;
    zarn::ComponentListReader::ParseText(text, whole, [&wholeDirs](const std::string& dir) {
        wholeDirs.push_back(dir);
        // The check must accept or refuse any value without fault.
        static_cast<void>(zarn::IsSafeInstallDir(dir));
    });

    std::set<const zarn::CCompObj*> seen;
    for (const auto& record : whole) {
        Require(record != nullptr);
        Require(seen.insert(record.get()).second);
        Require(record->m_status == "NOT_INSTALLED");
        const std::string& type = record->m_installType;
        Require(type.empty() || type == "EXE" || type == "REG" || type == "LIB" || type == "APP");
        Require(record->m_fileName == (record->m_codebase.empty() && record->m_fileName.empty()
                                           ? std::string()
                                           : zarn::ComponentListReader::FileNameFromUrl(record->m_codebase)));
        static_cast<void>(zarn::IsSafeInstallDir(record->m_dir) && zarn::IsSafeInstallFileName(record->m_fileName));
    }
    Require(whole.size() <= Count(text, "[ENDCOMP]"));

    // The same bytes in pieces of every size from 1 to 7 give the same records and directories.
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 7;
    zarn::ComponentList pieces;
    std::vector<std::string> pieceDirs;
    zarn::ComponentListReader reader(pieces, [&pieceDirs](const std::string& dir) { pieceDirs.push_back(dir); });
    for (std::size_t at = 0; at < size; at += piece) {
        reader.Feed(text.substr(at, piece));
    }
    reader.Finish();
    Require(pieces.size() == whole.size());
    Require(pieceDirs == wholeDirs);
    auto other = pieces.begin();
    for (const auto& record : whole) {
        Require(SameRecord(*record, **other));
        ++other;
    }
    return 0;
}
