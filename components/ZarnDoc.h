// The document: owns the component records and, for each update check, reads the list and detects versions.
#pragma once

#include "components/ComponentListReader.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace zarn {

class CZarnDoc {
public:
    // `appDir` is the application directory and ends in the platform's separator. UI thread.
    explicit CZarnDoc(std::string appDir);
    virtual ~CZarnDoc();

    CZarnDoc(const CZarnDoc&) = delete;
    CZarnDoc& operator=(const CZarnDoc&) = delete;

    // Rebuilds m_compList from "complist/complist.txt" under the application directory, creating each safe "dir="
    // directory on the way. UI thread. Returns 1 when the file was read to its end; 0 when there is no such file
    // or it could not be read whole (the list is then empty).
    int ParseComponentList();

    // Deletes every record and empties m_compList. UI thread; never fails.
    void FreeComponentList();

    // The text after the last "/" of `url` (empty when it ends in "/"), or "FAIL" when it holds no "/".
    // Any thread; never fails.
    static std::string GetFileNameFromUrl(const std::string& url);

    // Sets every record's m_status from the version installed on this machine. UI thread. Returns 1.
    int CheckInstalledVersions();

    // The application directory given at construction. Any thread.
    const std::string& GetAppDir() const { return m_appDir; }

    // The path of the component list file under the application directory. Any thread.
    std::string GetComponentListPath() const;

    std::int32_t m_listMode = 0;
    ComponentList m_compList;

private:
    // Feeds the open list file to a reader that appends to m_compList; false on a read error.
    bool ReadListFile(std::FILE* file);
    void CheckRecord(CCompObj& record) const;

    std::string m_appDir;
};

} // namespace zarn
