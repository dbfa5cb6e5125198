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

// The default value of HKEY_CLASSES_ROOT\subKey as Windows' merged view shows it to this user: this user's own
// classes first (where a standard user's registration puts them), then the machine's. Read as two keys because
// not every system the launcher runs on merges them (Wine does not).
int ReadClassesString(const std::string& subKey, std::string& value) {
    CRegistry user(HKEY_CURRENT_USER);
    if (user.ReadString(("Software\\Classes\\" + subKey).c_str(), "", value) == 1) {
        return 1;
    }
    CRegistry classes(HKEY_CLASSES_ROOT);
    return classes.ReadString(subKey.c_str(), "", value);
}

} // namespace

CObjectLookup::CObjectLookup() = default;

CObjectLookup::~CObjectLookup() = default;

int CObjectLookup::Lookup() {
    StripBraces(m_classId);
    if (ReadClassesString(ClassKey(m_classId, "ProgID"), m_progId) != 1) {
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
    if (ReadClassesString(ClassKey(id, "InprocServer32"), path) != 1) {
        return {};
    }
    return path;
}

std::string CObjectLookup::ReadDescription(const std::string& progId) {
    std::string description;
    if (ReadClassesString(progId, description) != 1) {
        return {};
    }
    return description;
}

} // namespace zarn
