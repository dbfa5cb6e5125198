#include "components/ObjectLookup.h"

#include "components/Registry.h"
#include "components/StripBraces.h"
#include "platform/FileSystem.h"

namespace zarn {

namespace {

// Registry key paths always use backslashes, whatever the platform's file separator.
std::string ClassKey(const std::string& classId, const char* subKey) {
    return "CLSID\\{" + classId + "}\\" + subKey;
}

} // namespace

CObjectLookup::CObjectLookup() = default;

CObjectLookup::~CObjectLookup() = default;

int CObjectLookup::Lookup() {
    StripBraces(m_classId);
    CRegistry registry(HKEY_CLASSES_ROOT);
    if (registry.ReadString(ClassKey(m_classId, "ProgID").c_str(), "", m_progId) != 1) {
        m_description.clear();
        m_serverPath.clear();
        return 0;
    }
    m_serverPath = ReadServerPath(m_classId);
    // Only a regular file counts: a directory or a pattern registered as the server is no server.
    const bool exists = !m_serverPath.empty() && platform::FileExists(m_serverPath);
    m_description = ReadDescription(m_progId);
    m_version.Init(m_serverPath);
    return exists ? 1 : 0;
}

std::string CObjectLookup::ReadServerPath(const std::string& classId) {
    std::string id = classId;
    StripBraces(id);
    std::string path;
    CRegistry registry(HKEY_CLASSES_ROOT);
    if (registry.ReadString(ClassKey(id, "InprocServer32").c_str(), "", path) != 1) {
        return {};
    }
    return path;
}

std::string CObjectLookup::ReadDescription(const std::string& progId) {
    std::string description;
    CRegistry registry(HKEY_CLASSES_ROOT);
    if (registry.ReadString(progId.c_str(), "", description) != 1) {
        return {};
    }
    return description;
}

} // namespace zarn
