#include "components/ZarnDoc.h"

#include "components/AsciiText.h"
#include "components/DLLVersion.h"
#include "components/InstallPathCheck.h"
#include "components/ObjectLookup.h"
#include "components/StatusWords.h"
#include "platform/FileSystem.h"
#include "platform/Library.h"
#include "platform/Process.h"

#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zarn {

namespace {

constexpr const char* kListPath = "//quillornacc//complist//complist.txt";
constexpr const char* kListMissingText =
    "Online System Update Required \nPlease ensure a connection to the internet is present ";
constexpr const char* kStartFailedText = "CreateProcess failed.";

// The views of a document made without any: nothing to show, and no download ever completes.
class CDetachedHost : public CDocumentHost {
public:
    void FillComponentList(const CZarnDoc&) override {}
    void HideDesignControl() override {}
    void UpdateAllViews(const CZarnDoc&) override {}
    int RunDownload(const std::string&, const std::string&) override { return kIdCancel; }
    void ShowMessageBox(const std::string&) override {}
    void ShowStartDialog(int) override {}
    void BringMainWindowToFront() override {}
};

CDocumentHost& DetachedHost() {
    static CDetachedHost host;
    return host;
}

// Installers report a restart that they began (1641) or that they need (3010) as success too.
bool IsInstallerSuccess(unsigned long exitCode) {
    return exitCode == platform::ReportedExitCode(0) || exitCode == platform::ReportedExitCode(1641) ||
           exitCode == platform::ReportedExitCode(3010);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

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

CZarnDoc::CZarnDoc(std::string appDir, std::string serverUrl, CDocumentHost& host)
    : m_appDir(std::move(appDir)), m_serverUrl(std::move(serverUrl)), m_host(host) {}

CZarnDoc::CZarnDoc(std::string appDir) : CZarnDoc(std::move(appDir), std::string(), DetachedHost()) {}

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
    // Most records share a few directories: each is checked and made once per read, not once per record.
    std::unordered_set<std::string> seen;
    ComponentListReader reader(m_compList, [this, sep, &seen](const std::string& dir) {
        if (!seen.insert(dir).second) {
            return;
        }
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

void CZarnDoc::CheckForUpdates() {
    Log("update check from " + m_serverUrl);
    m_host.FillComponentList(*this);
    m_host.HideDesignControl();
    LoadComponentList();
    m_listMode = 1;
    m_host.UpdateAllViews(*this);
    for (const auto& record : m_compList) {
        if (record && (record->m_status == kStatusNotInstalled || record->m_status == kStatusOutOfDate)) {
            const std::string before = record->m_status;
            if (InstallComponent(record.get()) == 1) {
                record->m_status = kStatusCurrent;
            }
            Log("component " + Quoted(record->m_desc) + ": " + before + " -> " + record->m_status);
        } else if (record) {
            Log("component " + Quoted(record->m_desc) + ": " + record->m_status + " -> " + record->m_status);
        }
        m_host.BringMainWindowToFront();
        m_host.UpdateAllViews(*this);
    }
    Log("update check done");
    m_host.ShowStartDialog(0);
}

int CZarnDoc::LoadComponentList() {
    // A failed download has been reported by the host; whatever list file is on disk is read all the same.
    const int downloaded = DownloadComponentList();
    const int read = ParseComponentList();
    Log("list " + GetComponentListPath() +
        (read == 1 ? ": read, " + std::to_string(m_compList.size()) + " components" : ": not read"));
    m_lastListLoaded = downloaded == 1 && read == 1;
    CheckInstalledVersions();
    for (const auto& record : m_compList) {
        if (record && m_log) {
            Log("component " + Quoted(record->m_desc) + " " + record->GetVersionString() + ": " + record->m_status);
        }
    }
    return 1;
}

int CZarnDoc::DownloadComponentList() {
    return Download("list", m_serverUrl + kListPath, GetComponentListPath()) == CDocumentHost::kIdOk ? 1 : 0;
}

int CZarnDoc::Download(const std::string& what, const std::string& sourceUrl, const std::string& targetPath) {
    const int result = m_host.RunDownload(sourceUrl, targetPath);
    if (m_log) {
        std::string line = what + " " + sourceUrl + " -> " + targetPath;
        if (result == CDocumentHost::kIdOk) {
            line += ": downloaded";
        } else {
            const std::string failText = m_host.LastDownloadFailText();
            line += failText.empty() ? ": not downloaded" : ": not downloaded: " + failText;
        }
        m_log->Write(line);
    }
    return result;
}

void CZarnDoc::Log(const std::string& text) const {
    if (m_log) {
        m_log->Write(text);
    }
}

int CZarnDoc::CheckComponentListPresent() {
    if (!platform::FileExists(GetComponentListPath())) {
        m_host.ShowMessageBox(kListMissingText);
        CheckForUpdates();
    }
    return 1;
}

int CZarnDoc::InstallComponent(CCompObj* record) {
    if (record == nullptr) {
        return 0;
    }
    const std::string& kind = record->m_installType;
    const char sep = platform::PathSeparator();
    // The list comes from the network: nothing of a record that would write, run or load a file outside the
    // application directory is downloaded at all.
    const std::string step = "install " + Quoted(record->m_desc) + ": ";
    if (!IsSafeToInstall(*record, m_appDir) ||
        (kind == "REG" && !IsSafeInstallDir(m_appDir, record->m_dir + sep + record->m_regFile))) {
        Log(step + "refused, its paths would leave the application directory");
        return 0;
    }
    if (kind != "EXE" && kind != "APP" && kind != "LIB" && kind != "REG") {
        Log(step + "install type " + Quoted(kind) + " needs nothing done");
        return 1;
    }
    const std::string targetDir = m_appDir + record->m_dir;
    const std::string localFile = targetDir + sep + record->m_fileName;
    // A download that did not complete leaves the component as it was, so its status must stay too.
    if (Download("download", record->m_codebase, localFile) != CDocumentHost::kIdOk) {
        return 0;
    }
    unsigned long exitCode = 0;
    if (kind == "EXE") {
        if (const unsigned long error = platform::MakeExecutable(localFile); error != 0) {
            Log(step + "cannot make " + localFile + " executable, error " + std::to_string(error));
            m_host.ShowMessageBox(kStartFailedText);
            return 0;
        }
        if (const unsigned long error = platform::RunProgram(localFile, {}, platform::ProgramWindow::Own, exitCode);
            error != 0) {
            Log(step + "cannot start " + localFile + ", error " + std::to_string(error));
            m_host.ShowMessageBox(kStartFailedText);
            return 0;
        }
        const int result = IsInstallerSuccess(exitCode) ? 1 : 0;
        Log(step + localFile + " exited with code " + std::to_string(exitCode) + ", result " + std::to_string(result));
        return result;
    }
    if (kind == "APP") {
        Log(step + "file in place, result 1");
        return 1;
    }
    // Our own expander beside the launcher, by its full path: no search path a download could plant a file into.
    const std::string expander = m_appDir + platform::ProgramFileName("zarn-expand");
    if (const unsigned long error =
            platform::RunProgram(expander, {"-F:*", localFile, targetDir}, platform::ProgramWindow::None, exitCode);
        error != 0) {
        Log(step + "cannot start " + expander + ", error " + std::to_string(error));
        m_host.ShowMessageBox(kStartFailedText);
        return 0;
    }
    Log(step + "zarn-expand exited with code " + std::to_string(exitCode));
    if (exitCode != 0) {
        return 0;
    }
    if (kind == "REG") {
        const std::string registrationFile = targetDir + sep + record->m_regFile;
        const int result = RegisterServer(registrationFile.c_str());
        Log(step + "DllRegisterServer of " + registrationFile + ", result " + std::to_string(result));
        return result;
    }
    Log(step + "unpacked, result 1");
    return 1;
}

int CZarnDoc::RegisterServer(const char* path) {
    platform::Library library;
    if (const unsigned long errorCode = library.Load(path); errorCode != 0) {
        return errorCode == 1 ? 0 : static_cast<int>(errorCode);
    }
    const std::optional<std::int32_t> result = library.CallEntryPoint("DllRegisterServer");
    if (!result) {
        return -1;
    }
    return *result < 0 ? 0 : 1;
}

int CZarnDoc::OnNewDocument() {
    return 1;
}

void CZarnDoc::Serialize(std::ios&) {}

} // namespace zarn
