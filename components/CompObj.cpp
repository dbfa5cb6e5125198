#include "components/CompObj.h"

#include "components/StatusWords.h"

namespace zarn {

CCompObj::CCompObj() : m_status(kStatusNotInstalled) {}

CCompObj::~CCompObj() = default;

std::string CCompObj::GetVersionString() const {
    return std::to_string(m_majorVer) + '.' + std::to_string(m_minorVer) + '.' + std::to_string(m_custNum) + '.' +
           std::to_string(m_buildNum);
}

} // namespace zarn
