// One component of the component list: what the vendor ships, where it goes and how it is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zarn {

class CCompObj {
public:
    // A record with every text empty, version 0.0.0.0 and status "NOT_INSTALLED". Any thread.
    CCompObj();
    virtual ~CCompObj();

    // The listed version as "major.minor.cust.build". Any thread; never fails.
    std::string GetVersionString() const;

    std::string m_desc;
    std::string m_name;
    std::string m_status;
    std::string m_classId;
    std::int32_t m_majorVer = 0;
    std::int32_t m_minorVer = 0;
    std::int32_t m_custNum = 0;
    std::int32_t m_buildNum = 0;
    std::string m_codebase;
    std::string m_dir;
    std::string m_regFile;
    std::string m_installType;
    std::string m_fileName;
    // What the file must be, from "sha256=" (64 hex digits, kept in lower case) and "size=" (decimal bytes);
    // empty when the block has no valid value. A value that is present but malformed is dropped and noted in
    // m_integrityMalformed, so a signed list can refuse the component instead of installing it unchecked.
    std::string m_sha256;
    std::optional<std::uint64_t> m_size;
    bool m_integrityMalformed = false;
    // Why this component did not become current, for the user: set where the update check or detection failed
    // for it (a refused path, a failed download, an installer's exit status, ...); empty when nothing failed.
    std::string m_failure;
};

} // namespace zarn
