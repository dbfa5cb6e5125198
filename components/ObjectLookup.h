// Resolves one COM class identifier through HKEY_CLASSES_ROOT (this user's classes before the machine's) to its
// ProgID, server file and version.
#pragma once

#include "components/DLLVersion.h"

#include <string>

namespace zarn {

class CObjectLookup {
public:
    // A lookup with every text empty; the caller sets m_classId. Any thread.
    CObjectLookup();
    virtual ~CObjectLookup();

    // Normalises m_classId (StripBraces), then reads the ProgID, the server path, the description and the server
    // file's version. UI thread. Returns 1 when the class has a ProgID and its server file exists; else 0 (without
    // a ProgID, m_serverPath and m_description are emptied and nothing more is read).
    int Lookup();

    // The default value of "CLSID\{id}\InprocServer32" for the brace-stripped `classId`. UI thread.
    // Empty when it cannot be read.
    std::string ReadServerPath(const std::string& classId);

    // The default value of the key named by `progId`. UI thread. Empty when it cannot be read.
    std::string ReadDescription(const std::string& progId);

    std::string m_classId;
    std::string m_progId;
    std::string m_serverPath;
    std::string m_description;
    CDLLVersion m_version;
};

} // namespace zarn
