#include "components/ZarnDoc.h"

#include "components/AsciiText.h"
#include "components/DLLVersion.h"
#include "components/InstallPathCheck.h"
#include "components/ObjectLookup.h"
#include "components/StatusWords.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace zarn {

namespace {

const char* CompareVersions(std::int32_t listedMajor, std::int32_t listedMinor, std::int32_t installedMajor,
                            std::int32_t installedMinor) {
    if (listedMajor > installedMajor || (listedMajor == installedMajor && listedMinor > installedMinor)) {
        return kStatusOutOfDate;
    }
    if (installedMajor > listedMajor || (listedMajor == installedMajor && installedMinor > listedMinor)) {
        return kStatusNewer;
    }
    return kStatusCurrent;
}

} // namespace

CZarnDoc::CZarnDoc(std::string appDir) : m_appDir(std::move(appDir)) {}

CZarnDoc::~CZarnDoc() {
    FreeComponentList();
}

std::string CZarnDoc::GetComponentListPath() const {
    const char sep = platform::PathSeparator();
    return m_appDir + "complist" + sep + "complist.txt";
}

int CZarnDoc::ParseComponentList() {
    FreeComponentList();
    const std::string path = GetComponentListPath();
    if (!platform::FileExists(path)) {
        return 0;
    }
    // Binary mode: lines are split by the reader, which also knows CR-only line ends.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return 0;
    }
    bool complete = false;
    try {
        complete = ReadListFile(file.get());
    } catch (const std::bad_alloc&) {
        // Lines have no length limit, so a list too large for memory is refused rather than ending the launcher.
        complete = false;
    }
    if (!complete) {
        // Half a list could silently drop components; with none the driver installs nothing this time.
        FreeComponentList();
        return 0;
    }
    return 1;
}

bool CZarnDoc::ReadListFile(std::FILE* file) {
    const char sep = platform::PathSeparator();
    ComponentListReader reader(m_compList, [this, sep](const std::string& dir) {
        // A list value that would leave the application directory, by its text or through a link, creates
        // nothing. Otherwise the result is not looked at: the directory usually exists already, and a missing one
        // makes its download fail later.
        if (IsSafeInstallDir(m_appDir, dir)) {
            static_cast<void>(platform::CreateDirectoryOne(m_appDir + sep + dir));
        }
    });
    std::vector<char> chunk(64 * 1024);
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        reader.Feed(std::string_view(chunk.data(), got));
    }
    if (std::ferror(file) != 0) {
        return false;
    }
    reader.Finish();
    return true;
}

void CZarnDoc::FreeComponentList() {
    m_compList.clear();
}

std::string CZarnDoc::GetFileNameFromUrl(const std::string& url) {
    return ComponentListReader::FileNameFromUrl(url);
}

int CZarnDoc::CheckInstalledVersions() {
    for (const auto& record : m_compList) {
        if (record) {
            CheckRecord(*record);
        }
    }
    return 1;
}

void CZarnDoc::CheckRecord(CCompObj& record) const {
    if (EqualsIgnoreCaseAscii(record.m_regFile, "app")) {
        // A plain file at a fixed place: a first version number of 0 stands for "no usable file".
        CDLLVersion version;
        version.Init(m_appDir + record.m_dir + platform::PathSeparator() + record.m_fileName);
        if (version.GetMajor() == 0) {
            record.m_status = kStatusNotInstalled;
        } else {
            record.m_status =
                CompareVersions(record.m_majorVer, record.m_minorVer, version.GetMajor(), version.GetMinor());
        }
        return;
    }

    CObjectLookup lookup;
    lookup.m_classId = record.m_classId;
    bool found = lookup.Lookup() == 1;
    if (auto longPath = platform::LongPathName(lookup.m_serverPath)) {
        lookup.m_serverPath = std::move(*longPath);
    }
    const bool inside = ToLowerAscii(lookup.m_serverPath).find(ToLowerAscii(m_appDir)) != std::string::npos;
    const size_t ocx = ToLowerAscii(record.m_regFile).find(".ocx");
    const bool control = ocx != std::string::npos && ocx > 0;
    if (!inside && control) {
        // A control registered from elsewhere is someone else's copy; ours counts as missing.
        found = false;
    }
    if (!found) {
        record.m_status = kStatusNotInstalled;
        return;
    }
    record.m_status =
        CompareVersions(record.m_majorVer, record.m_minorVer, lookup.m_version.GetMajor(), lookup.m_version.GetMinor());
}

} // namespace zarn
