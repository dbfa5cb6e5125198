#include "components/ZarnDoc.h"

#include "components/DLLVersion.h"
#include "components/InstallJournal.h"
#include "components/InstallPathCheck.h"
#include "components/LauncherSettings.h"
#include "components/ListKeys.h"
#include "components/ObjectLookup.h"
#include "components/ServerUrl.h"
#include "components/StatusWords.h"
#include "download/TargetFile.h"
#include "download/UrlSplit.h"
#include "platform/CrashPoint.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/RegistrationCapture.h"
#include "platform/RegistryApi.h"
#include "platform/Signature.h"
#include "res/StringTable.h"
#include "text/AsciiText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zarn {

namespace {

constexpr const char* kListPath = "//quillornacc//complist//complist.txt";
constexpr const char* kListMissingText =
    "Online System Update Required \nPlease ensure a connection to the internet is present ";
constexpr const char* kStartFailedText = "CreateProcess failed.";
constexpr const char* kListRefusedText =
    "The component list from the server was refused, and the previous one is kept: ";
// Far above any real list (a list of a few dozen components has a few kilobytes; a DER signature of P-256 at most
// 72 bytes), and small enough to hold in memory: an endless answer is cut off there.
constexpr std::uint64_t kListSizeCap = 16u << 20;
constexpr std::uint64_t kSignatureSizeCap = 4096;
constexpr const char* kCheckLockName = "zarn-update.lock";
constexpr const char* kOtherCheckText = "Another update check of this application directory is running";
// How often a waiting check asks again whether the other one has ended.
constexpr std::chrono::milliseconds kLockPoll{200};

// Why the registry cannot be read, as told to the user; empty when it can. Installed versions and the highest
// accepted serial are read from it, so a damaged database must not pass for an empty one.
std::string RegistryProblem() {
    const LONG rc = RegQueryInfoKeyA(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
        return {};
    }
    std::string name = "The registry";
    DWORD size = 0;
    if (ZarnRegGetDatabasePathA(nullptr, &size) == ERROR_SUCCESS && size > 1) {
        std::string path(size, '\0');
        if (ZarnRegGetDatabasePathA(path.data(), &size) == ERROR_SUCCESS) {
            path.resize(size - 1);
            name = "The registry database " + path;
        }
    }
    const std::string why = rc == ERROR_BADDB           ? "it is damaged, or it is not a registry database"
                            : rc == ERROR_ACCESS_DENIED ? "access to it is denied"
                                                        : "it cannot be opened (error " + std::to_string(rc) + ")";
    return name + " cannot be read: " + why + ". Component versions cannot be detected.";
}

// A download that may be no larger than `limit`.
DownloadCheck SizeCapped(std::uint64_t limit) {
    DownloadCheck check;
    check.maxSize = limit;
    return check;
}

// Writes `bytes` to a new file beside `path` and puts that in place of `path` in one step, as a download is, so
// that `path` holds either its previous content or all of `bytes`. Returns 0 or the system's code.
unsigned long PutInPlace(const std::string& path, std::string_view bytes) {
    TargetFile file;
    if (const TargetFile::OpenResult opened = file.Open(path, 0); opened.messageId != 0) {
        return opened.systemCode;
    }
    if (const unsigned long code = file.Write(bytes.data(), bytes.size()); code != 0) {
        return code;
    }
    return file.Commit();
}

// The validators of the list's last whole answer are kept beside it, one a line (ETag, then Last-Modified), so
// that the next check asks for the list only if it changed.
std::string ValidatorPath(const std::string& listPath) {
    return listPath + ".validator";
}

// The list's download: capped, and conditional on the copy on disk when there is one with its validators.
DownloadCheck ListCheck(const std::string& listPath, std::uint64_t sizeCap) {
    DownloadCheck check = SizeCapped(sizeCap);
    const std::optional<std::string> text =
        platform::FileExists(listPath) ? platform::ReadWholeFile(ValidatorPath(listPath), 4096) : std::nullopt;
    const std::size_t first = text ? text->find('\n') : std::string::npos;
    const std::size_t second = text && first != std::string::npos ? text->find('\n', first + 1) : std::string::npos;
    if (second == std::string::npos || text->find('\r') != std::string::npos) {
        return check;
    }
    check.ifNoneMatch = text->substr(0, first);
    check.ifModifiedSince = text->substr(first + 1, second - first - 1);
    return check;
}

// Keeps the validators of a list just fetched whole beside it; a list the server confirmed keeps the ones it has.
// Returns 0 or the system's code.
unsigned long KeepListValidator(const std::string& listPath, const DownloadAnswer& answer) {
    if (answer.notModified) {
        return 0;
    }
    if (answer.etag.empty() && answer.lastModified.empty()) {
        platform::RemoveFile(ValidatorPath(listPath));
        return 0;
    }
    return PutInPlace(ValidatorPath(listPath), answer.etag + "\n" + answer.lastModified + "\n");
}

// `seconds` since the epoch as "YYYY-MM-DDTHH:MM:SSZ" (the civil date of the proleptic Gregorian calendar).
std::string UtcText(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t secondOfDay = seconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[128] = {};
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return text;
}

// The views of a document made without any: nothing to show, and no download ever completes.
class CDetachedHost : public CDocumentHost {
public:
    void FillComponentList(const CZarnDoc&) override {}
    void HideDesignControl() override {}
    void UpdateAllViews(const CZarnDoc&) override {}
    int RunDownload(const std::string&, const std::string&, const DownloadCheck&) override { return kIdCancel; }
    void ShowMessageBox(const std::string&) override {}
    void ShowStartDialog(int) override {}
    void BringMainWindowToFront() override {}
};

CDocumentHost& DetachedHost() {
    static CDetachedHost host;
    return host;
}

// Installers report a restart that they began (1641) or that they need (3010) as success too. A POSIX exit status
// holds only eight bits, so there only 0 can match: the low bytes of 1641 and 3010 are failures of their own.
bool IsInstallerSuccess(const platform::ProgramEnd& end) {
    return end.ExitedWith(0) || end.ExitedWith(1641) || end.ExitedWith(3010);
}

// The lines of a program's output that say something, without their line ends. Any output cut at its start by
// the capture limit begins with the rest of a line, which is left out.
std::vector<std::string> MessageLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    if (output.size() >= platform::ProgramEnd::kOutputLimit) {
        start = std::min(output.find('\n'), output.size() - 1) + 1;
    }
    while (start < output.size()) {
        const size_t end = std::min(output.find('\n', start), output.size());
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(' ') != std::string::npos) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

// Why `program` could not be started, for the log and the user.
std::string CannotStart(const std::string& program, unsigned long error) {
    if (platform::IsPathTooLongError(error)) {
        return "cannot start " + program + ": its path is too long for this system";
    }
    return "cannot start " + program + ", error " + std::to_string(error);
}

// The URL a download that ended well came from: the last server its failed attempts moved on to, else `sourceUrl`.
std::string ServedFrom(const std::string& sourceUrl, const std::vector<std::string>& attempts) {
    constexpr std::string_view kNextServer = "; the next server: ";
    for (auto it = attempts.rbegin(); it != attempts.rend(); ++it) {
        if (const std::size_t at = it->rfind(kNextServer); at != std::string::npos) {
            return it->substr(at + kNextServer.size());
        }
    }
    return sourceUrl;
}

// Why registering the control at `path` failed, from RegisterServer's `result` (not 1).
std::string RegistrationFailure(const std::string& path, int result) {
    switch (result) {
    case 0:
        return "DllRegisterServer of " + path + " failed";
    case -1:
        return path + " has no DllRegisterServer";
    default:
        if (platform::IsPathTooLongError(static_cast<unsigned long>(result))) {
            return path + " cannot be loaded: its path is too long for this system";
        }
        return path + " cannot be loaded, error " + std::to_string(result);
    }
}

// The lines of one message, in order.
std::string JoinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
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
    : m_appDir(std::move(appDir)), m_serverUrl(std::move(serverUrl)), m_host(host), m_listKeys(BuiltInListKeys()) {}

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
    m_listHeader = ListHeader();
    const std::string path = GetComponentListPath();
    if (!platform::FileExists(path)) {
        return 0;
    }
    // Binary mode: lines are split by the reader, which also knows CR-only line ends.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return 0;
    }
    return ReadList([&file](ComponentListReader& reader) {
        std::vector<char> chunk(64 * 1024);
        size_t got = 0;
        while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
            reader.Feed(std::string_view(chunk.data(), got));
        }
        return std::ferror(file.get()) == 0;
    });
}

int CZarnDoc::ReadList(const std::function<bool(ComponentListReader&)>& feed) {
    FreeComponentList();
    m_listHeader = ListHeader();
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
    bool complete = false;
    try {
        complete = feed(reader);
        if (complete) {
            reader.Finish();
            m_listHeader = reader.Header();
        }
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

void CZarnDoc::FreeComponentList() {
    m_compList.clear();
}

std::string CZarnDoc::GetFileNameFromUrl(const std::string& url) {
    return ComponentListReader::FileNameFromUrl(url);
}

int CZarnDoc::CheckInstalledVersions() {
    for (const auto& record : m_compList) {
        if (record) {
            const std::string reads = CheckRecord(*record);
            if (PinnedBelowList(*record)) {
                ApplyPin(*record, reads);
            }
        }
    }
    return 1;
}

bool CZarnDoc::PinnedBelowList(const CCompObj& record) const {
    const std::optional<LauncherPolicy::Version> pin = m_policy.TargetVersion(record.m_name);
    const LauncherPolicy::Version listed{record.m_majorVer, record.m_minorVer, record.m_custNum, record.m_buildNum};
    return pin && listed > *pin;
}

void CZarnDoc::ApplyPin(CCompObj& record, const std::string& reads) const {
    const LauncherPolicy::Version pin = *m_policy.TargetVersion(record.m_name);
    // The pinned version is all the administrator wants: installed, it is as good as current. A FileVersion text
    // may be written "2, 0, 1, 4".
    std::string dotted;
    for (const char c : reads) {
        if (c != ' ') {
            dotted += c == ',' ? '.' : c;
        }
    }
    if (LauncherPolicy::ParseVersion(dotted) == pin) {
        record.m_status = kStatusCurrent;
    }
    Log("component " + Quoted(record.m_desc) + " pinned by policy to " + std::to_string(pin[0]) + "." +
        std::to_string(pin[1]) + "." + std::to_string(pin[2]) + "." + std::to_string(pin[3]) + ": the list's " +
        record.GetVersionString() + " is not installed; detection reads " + (reads.empty() ? "no version" : reads) +
        ", " + record.m_status);
}

bool CZarnDoc::WillInstall(const CCompObj& record) const {
    return (record.m_status == kStatusNotInstalled || record.m_status == kStatusOutOfDate) &&
           !m_policy.UpdatesDisabled() && !PinnedBelowList(record);
}

std::string CZarnDoc::CheckRecord(CCompObj& record) const {
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
        return version.GetVersionText();
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
        return {};
    }
    record.m_status =
        CompareVersions(record.m_majorVer, record.m_minorVer, lookup.m_version.GetMajor(), lookup.m_version.GetMinor());
    // A server file without a FileVersion text reads as the numbers compared (0.0.0).
    const std::string text = lookup.m_version.GetVersionText();
    return !text.empty()
               ? text
               : std::to_string(lookup.m_version.GetMajor()) + "." + std::to_string(lookup.m_version.GetMinor()) + "." +
                     std::to_string(lookup.m_version.GetThird());
}

std::vector<std::string> CZarnDoc::VerifyInstalled(const std::vector<std::pair<CCompObj*, std::string>>& installed) {
    std::vector<std::string> notCurrent;
    for (const auto& [record, installerEnd] : installed) {
        const std::string reads = CheckRecord(*record);
        const std::string step = "verify " + Quoted(record->m_desc) + ": ";
        const std::string found = reads.empty() ? "no version" : reads;
        if (record->m_status == kStatusCurrent || record->m_status == kStatusNewer) {
            Log(step + "reads " + found + ", " + record->m_status);
            record->m_status = kStatusCurrent;
            continue;
        }
        // Nothing is undone: the files are the vendor's, and others may depend on them already. (FormatString even
        // without an argument: on Windows the registry's header brings in <windows.h>, which renames LoadString.)
        record->m_failure = FormatString(reads.empty() ? IDS_INSTALLED_NO_VERSION : IDS_INSTALLED_VERSION_READS, reads);
        notCurrent.push_back(Quoted(record->m_desc) + ": " + record->m_failure);
        Log(step + (installerEnd.empty() ? "installed" : installerEnd) + ", yet detection reads " + found +
            " where the list names " + record->GetVersionString() + ", so it is " + record->m_status +
            "; nothing was undone");
    }
    return notCurrent;
}

void CZarnDoc::CheckForUpdates() {
    Log("update check from " + m_serverUrl);
    if (m_listKeys.empty()) {
        Log("this build has no vendor keys: the component list is read unsigned");
    }
    m_host.FillComponentList(*this);
    m_host.HideDesignControl();
    // Held from the list's download to the last install, and released before the start dialog, which may stay
    // open for as long as the user likes.
    if (TakeCheckLock()) {
        LoadComponentList();
    } else {
        LoadListOnDisk();
    }
    m_listMode = 1;
    m_host.UpdateAllViews(*this);
    if (m_policy.UpdatesDisabled()) {
        Log("policy UpdatesDisabled: nothing is downloaded or installed");
        if (!m_toldUpdatesDisabled) {
            m_toldUpdatesDisabled = true;
            m_host.ShowMessageBox(FormatString(IDS_UPDATES_DISABLED_BY_POLICY, ""));
        }
    }
    m_rightsLacking.clear();
    // Found before anything is fetched: what goes to a folder this user may not write is not attempted.
    std::map<const CCompObj*, std::string> folderRefused;
    if (m_listRefusal.empty() && m_checkLock.IsHeld()) {
        // Fetched ahead while the components before them install, one at a time.
        std::vector<PlannedDownload> planned;
        for (const auto& record : m_compList) {
            if (record && WillInstall(*record)) {
                if (std::string lacking = FolderRightLacking(*record); !lacking.empty()) {
                    folderRefused.emplace(record.get(), std::move(lacking));
                } else if (std::optional<PlannedDownload> download = PlannedDownloadOf(*record)) {
                    planned.push_back(std::move(*download));
                }
            }
        }
        m_host.PlanDownloads(planned);
    }
    // What the loop installed, with how an installer ended, detected again at the end: a component may be found
    // through a class that a later one registers.
    std::vector<std::pair<CCompObj*, std::string>> installed;
    for (const auto& record : m_compList) {
        if (!m_listRefusal.empty() || !m_checkLock.IsHeld()) {
            // A refused list may be an attack on this installation: the previous list is shown, nothing installed.
            // Without the lock another process is installing.
            break;
        }
        if (record && WillInstall(*record)) {
            const std::string before = record->m_status;
            m_installerEnd.clear();
            if (const auto refused = folderRefused.find(record.get()); refused != folderRefused.end()) {
                m_installFailure = refused->second;
                Log("install " + Quoted(record->m_desc) + ": not attempted, it " + refused->second);
                LackRight(*record, refused->second);
            } else if (InstallComponent(record.get()) == 1) {
                record->m_status = kStatusCurrent;
                const std::string& kind = record->m_installType;
                if (kind == "EXE" || kind == "APP" || kind == "LIB" || kind == "REG") {
                    installed.emplace_back(record.get(), m_installerEnd);
                }
            }
            record->m_failure = m_installFailure;
            Log("component " + Quoted(record->m_desc) + ": " + before + " -> " + record->m_status);
        } else if (record) {
            Log("component " + Quoted(record->m_desc) + ": " + record->m_status + " -> " + record->m_status);
        }
        m_host.BringMainWindowToFront();
        m_host.UpdateAllViews(*this);
    }
    platform::CrashPoint("verify");
    m_host.PlanDownloads({});
    const std::vector<std::string> notCurrent = VerifyInstalled(installed);
    m_checkLock.Unlock();
    if (!m_rightsLacking.empty()) {
        m_lastCheckLackedRights = true;
        m_host.ShowMessageBox(FormatString(IDS_UPDATES_NEED_RIGHTS, JoinedLines(m_rightsLacking)));
    }
    if (!notCurrent.empty()) {
        m_host.UpdateAllViews(*this);
        m_host.ShowMessageBox(JoinedLines(notCurrent));
    }
    Log("update check done");
    m_host.ShowStartDialog(0);
}

int CZarnDoc::LoadComponentList() {
    if (const std::string problem = RegistryProblem(); !problem.empty()) {
        Log(problem);
        m_host.ShowMessageBox(problem);
    }
    const bool ownLock = !m_checkLock.IsHeld();
    if (ownLock && !TakeCheckLock()) {
        return LoadListOnDisk();
    }
    // Journals a killed check left while another process held the lock at this one's start: nothing is detected or
    // installed over a component that is half old and half new.
    FinishJournals(InstallJournal::FindAll(m_appDir));
    RemoveLeftovers(true);
    // A failed download has been reported by the host; whatever list file is on disk is read all the same.
    const int downloaded = DownloadComponentList();
    // The verified bytes themselves, not the file they were written to: nothing read later can differ from them.
    int read = 0;
    if (m_acceptedList) {
        read = ReadList([this](ComponentListReader& reader) {
            reader.Feed(*m_acceptedList);
            return true;
        });
        m_acceptedList.reset();
    } else {
        read = ParseComponentList();
    }
    Log("list " + GetComponentListPath() +
        (read == 1 ? ": read, " + std::to_string(m_compList.size()) + " components" : ": not read"));
    m_lastListLoaded = downloaded == 1 && read == 1;
    RemoveLeftovers(false);
    CheckInstalledVersions();
    for (const auto& record : m_compList) {
        if (record && m_log) {
            Log("component " + Quoted(record->m_desc) + " " + record->GetVersionString() + ": " + record->m_status);
        }
    }
    if (ownLock) {
        m_checkLock.Unlock();
    }
    return 1;
}

int CZarnDoc::LoadListOnDisk() {
    m_listRefusal.clear();
    const int read = ParseComponentList();
    Log("list " + GetComponentListPath() +
        (read == 1 ? ": read from disk only, " + std::to_string(m_compList.size()) + " components" : ": not read"));
    m_lastListLoaded = false;
    CheckInstalledVersions();
    return 1;
}

std::string CZarnDoc::GetCheckLockPath() const {
    // In the list folder: the one folder every check must be able to write to, whoever may write elsewhere.
    return m_appDir + "complist" + platform::PathSeparator() + kCheckLockName;
}

bool CZarnDoc::TakeCheckLock() {
    m_lastCheckBusy = false;
    m_lastCheckLackedRights = false;
    const std::string path = GetCheckLockPath();
    platform::FileLock::Result result = m_checkLock.TryLock(path);
    if (result.state == platform::FileLock::State::Busy) {
        const auto count = std::chrono::duration_cast<std::chrono::seconds>(m_otherCheckWait).count();
        const std::string seconds = std::to_string(count) + (count == 1 ? " second" : " seconds");
        const std::string note = std::string(kOtherCheckText) + "; waiting up to " + seconds + " for it to end";
        Log(note);
        m_host.ShowWaitNote(note);
        // Polled: the system has no lock wait with a time limit on every platform, and the UI thread must come
        // back in bounded time.
        const auto until = std::chrono::steady_clock::now() + m_otherCheckWait;
        while (result.state == platform::FileLock::State::Busy && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(kLockPoll, until - std::chrono::steady_clock::now()));
            result = m_checkLock.TryLock(path);
        }
        m_host.ShowWaitNote({});
        if (result.state == platform::FileLock::State::Busy) {
            m_lastCheckBusy = true;
            const std::string text = std::string(kOtherCheckText) + "; this check was given up after " + seconds +
                                     ", and the previous list is kept";
            Log(text);
            m_host.ShowMessageBox(text);
            return false;
        }
    }
    // The list is written beside the lock: a folder this user may not write is said as such before anything runs,
    // even when the lock file itself could be opened.
    unsigned long refusal = result.state == platform::FileLock::State::Failed ? result.errorCode : 0;
    if (result.state == platform::FileLock::State::Held) {
        refusal = WriteRefusalOf(m_appDir + "complist");
        if (!platform::IsAccessDeniedError(refusal)) {
            return true;
        }
        m_checkLock.Unlock();
    }
    if (platform::IsAccessDeniedError(refusal)) {
        m_lastCheckLackedRights = true;
        const std::string text = FormatString(IDS_CHECK_NEEDS_RIGHTS, m_appDir + "complist");
        Log(text + " (error " + std::to_string(refusal) + ")");
        m_host.ShowMessageBox(text);
        return false;
    }
    // Without the lock nothing keeps two checks apart, so none is run.
    const std::string text = "The update check could not lock " + path + ", error " + std::to_string(refusal) +
                             "; it was not run, and the previous list is kept";
    Log(text);
    m_host.ShowMessageBox(text);
    return false;
}

std::string CZarnDoc::FolderRightLacking(const CCompObj& record) const {
    const std::string folder = m_appDir + record.m_dir;
    const unsigned long refusal = WriteRefusalOf(folder);
    return platform::IsAccessDeniedError(refusal) ? FormatString(IDS_NEEDS_FOLDER_RIGHT, folder) : std::string();
}

void CZarnDoc::LackRight(const CCompObj& record, const std::string& reason) {
    m_rightsLacking.push_back(Quoted(record.m_desc) + ": " + reason);
}

void CZarnDoc::RemoveLeftovers(bool listFolder) {
    if (listFolder) {
        TargetFile::RemoveLeftoversIn(m_appDir + "complist");
        return;
    }
    // Every folder the list names, not only those that receive a download this time: a killed download of a
    // component that is current now would stay for ever otherwise. A partial download stays while the list still
    // names the same file, for this check to continue.
    std::map<std::string, std::map<std::string, TargetFile::Origin>> folders;
    for (const auto& record : m_compList) {
        if (record && IsSafeInstallDir(m_appDir, record->m_dir)) {
            auto& kept = folders[record->m_dir];
            if (const auto origin = TargetFile::OriginOf(record->m_codebase, record->m_size, record->m_sha256)) {
                kept.emplace(record->m_fileName, *origin);
            }
        }
    }
    for (const auto& [folder, kept] : folders) {
        TargetFile::RemoveLeftoversIn(m_appDir + folder, kept);
    }
}

int CZarnDoc::DownloadComponentList() {
    m_listRefusal.clear();
    const std::string listUrl = m_serverUrl + kListPath;
    const std::string listPath = GetComponentListPath();
    // Every mirror keeps the list at the same path; the signature makes each one as trustworthy as the first.
    const std::vector<std::string> servers = LauncherSettings::Servers(m_serverUrl, m_policy.Mirrors());
    const auto onMirrors = [&servers](DownloadCheck check, const std::string& path) {
        for (std::size_t i = 1; i < servers.size(); ++i) {
            check.mirrorUrls.push_back(servers[i] + path);
        }
        return check;
    };
    m_acceptedList.reset();
    if (m_listKeys.empty()) {
        if (Download("list", listUrl, listPath, onMirrors(ListCheck(listPath, kListSizeCap), kListPath)) != kIdOk) {
            return 0;
        }
        if (const unsigned long code = KeepListValidator(listPath, m_host.LastDownloadAnswer()); code != 0) {
            Log("list validator could not be kept beside the list, error " + std::to_string(code));
        }
        return 1;
    }
    // The new list and its signature are staged under names of this process's own, read once and removed: what is
    // checked, put in place and read is those bytes, whatever happens to the files meanwhile.
    const std::string suffix = platform::UniqueFileSuffix();
    const std::string stagedList = listPath + ".new" + suffix;
    const std::string stagedSignature = listPath + ".sig.new" + suffix;
    if (Download("list", listUrl, stagedList, onMirrors(ListCheck(listPath, kListSizeCap), kListPath)) != kIdOk) {
        return 0;
    }
    // A list the server confirmed is the one on disk, checked below as a new one is: its signature may have
    // changed, or it may have expired since.
    const DownloadAnswer answer = m_host.LastDownloadAnswer();
    std::optional<std::string> list = platform::ReadWholeFile(answer.notModified ? listPath : stagedList, kListSizeCap);
    platform::RemoveFile(stagedList);
    std::optional<std::string> signature;
    std::string reason;
    if (Download("signature", listUrl + ".sig", stagedSignature,
                 onMirrors(SizeCapped(kSignatureSizeCap), std::string(kListPath) + ".sig")) == kIdOk) {
        signature = platform::ReadWholeFile(stagedSignature, kSignatureSizeCap);
        platform::RemoveFile(stagedSignature);
    } else {
        reason = "its signature complist.txt.sig could not be fetched";
    }
    std::uint64_t serial = 0;
    if (reason.empty()) {
        reason = list && signature ? CheckDownloadedList(*list, *signature, serial)
                                   : "it could not be read back from the disk";
    }
    if (reason.empty() && PutInPlace(listPath, *list) != 0) {
        reason = "it could not be put in place of the previous one";
    }
    if (!reason.empty()) {
        // The next check then fetches the list whole.
        platform::RemoveFile(ValidatorPath(listPath));
        return RefuseList(reason);
    }
    if (const unsigned long code = KeepListValidator(listPath, answer); code != 0) {
        Log("list validator could not be kept beside the list, error " + std::to_string(code));
    }
    // The signature stays beside the list it belongs to: it lets a later check take the serial floor from the list
    // on disk should the settings be lost.
    if (const unsigned long code = PutInPlace(listPath + ".sig", *signature); code != 0) {
        Log("list signature could not be kept beside the list, error " + std::to_string(code));
    }
    m_acceptedList = std::move(list);
    if (serial > LauncherSettings::AcceptedListSerial() && !LauncherSettings::StoreAcceptedListSerial(serial)) {
        Log("list serial " + std::to_string(serial) + " could not be stored in the settings");
    }
    Log("list signature verified, serial " + std::to_string(serial));
    return 1;
}

bool CZarnDoc::SignedByVendor(std::string_view list, std::string_view signature) const {
    return std::any_of(m_listKeys.begin(), m_listKeys.end(),
                       [&](const std::string& key) { return platform::VerifyEcdsaP256Sha256(key, list, signature); });
}

std::uint64_t CZarnDoc::SerialFloor() const {
    const std::uint64_t stored = LauncherSettings::AcceptedListSerial();
    const std::string listPath = GetComponentListPath();
    const std::optional<std::string> list = platform::ReadWholeFile(listPath, kListSizeCap);
    const std::optional<std::string> signature = platform::ReadWholeFile(listPath + ".sig", kSignatureSizeCap);
    if (!list || !signature || !SignedByVendor(*list, *signature)) {
        return stored;
    }
    ComponentList records;
    const ListHeader header = ComponentListReader::ParseText(*list, records, {});
    return header.serial && !header.malformed ? std::max(stored, *header.serial) : stored;
}

std::string CZarnDoc::CheckDownloadedList(std::string_view list, std::string_view signature,
                                          std::uint64_t& serial) const {
    if (signature.empty()) {
        return "its signature is empty";
    }
    if (!SignedByVendor(list, signature)) {
        return "its signature does not verify with the vendor's keys";
    }
    ComponentList records;
    const ListHeader header = ComponentListReader::ParseText(list, records, {});
    if (header.malformed) {
        return "its serial= or expires= line is malformed";
    }
    if (!header.serial) {
        return "it has no serial=";
    }
    if (const std::uint64_t accepted = SerialFloor(); *header.serial < accepted) {
        return "its serial " + std::to_string(*header.serial) + " is below " + std::to_string(accepted) +
               ", the highest this installation has accepted";
    }
    if (!header.expires) {
        return "it has no expires=";
    }
    if (*header.expires <= static_cast<std::int64_t>(std::time(nullptr))) {
        return "it expired at " + UtcText(*header.expires);
    }
    serial = *header.serial;
    return {};
}

int CZarnDoc::RefuseList(const std::string& reason) {
    m_listRefusal = kListRefusedText + reason;
    Log(m_listRefusal);
    m_host.ShowMessageBox(m_listRefusal);
    return 0;
}

int CZarnDoc::Download(const std::string& what, const std::string& sourceUrl, const std::string& targetPath,
                       const DownloadCheck& check) {
    const int result = m_host.RunDownload(sourceUrl, targetPath, check);
    if (m_log) {
        std::string line = what + " " + sourceUrl + " -> " + targetPath;
        if (result == kIdOk) {
            line += m_host.LastDownloadAnswer().notModified ? ": not modified, the copy on disk stays" : ": downloaded";
            // A mirror's name is worth its own words; the first server's is the line's URL.
            if (const std::string served = ServedFrom(sourceUrl, m_host.LastDownloadAttempts()); served != sourceUrl) {
                line += " from " + served;
            }
        } else {
            const std::string failText = m_host.LastDownloadFailText();
            line += failText.empty() ? ": not downloaded" : ": not downloaded: " + failText;
        }
        for (const std::string& attempt : m_host.LastDownloadAttempts()) {
            m_log->Write(what + " " + sourceUrl + ": " + attempt);
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

std::optional<PlannedDownload> CZarnDoc::PlannedDownloadOf(const CCompObj& record) const {
    // The conditions under which InstallComponent downloads at all.
    const std::string& kind = record.m_installType;
    const char sep = platform::PathSeparator();
    if (!IsSafeToInstall(record, m_appDir) ||
        (kind == "REG" && !IsSafeInstallDir(m_appDir, record.m_dir + sep + record.m_regFile)) ||
        (kind != "EXE" && kind != "APP" && kind != "LIB" && kind != "REG") ||
        (!m_listKeys.empty() && (record.m_sha256.empty() || !record.m_size || record.m_integrityMalformed))) {
        return std::nullopt;
    }
    std::string refusal;
    const std::optional<std::string> source = SourceUrlOf(record, refusal);
    if (!source) {
        return std::nullopt;
    }
    return PlannedDownload{*source, m_appDir + record.m_dir + sep + record.m_fileName, CheckOf(record, *source)};
}

DownloadCheck CZarnDoc::CheckOf(const CCompObj& record, const std::string& source) const {
    DownloadCheck check{record.m_size, record.m_sha256};
    const std::vector<std::string> servers = LauncherSettings::Servers(m_serverUrl, m_policy.Mirrors());
    for (std::size_t i = 1; i < servers.size(); ++i) {
        const std::optional<std::string> mirrored = UrlUnderServer(record.m_codebase, servers[i]);
        if (mirrored && *mirrored != source && *mirrored != record.m_codebase &&
            std::find(check.mirrorUrls.begin(), check.mirrorUrls.end(), *mirrored) == check.mirrorUrls.end()) {
            check.mirrorUrls.push_back(*mirrored);
        }
    }
    return check;
}

std::optional<std::string> CZarnDoc::SourceUrlOf(const CCompObj& record, std::string& refusal) const {
    if (!IsFileUrl(m_serverUrl)) {
        // As the download will read it: blanks around a URL are no part of it.
        std::string url = record.m_codebase;
        UrlParts parts;
        if (SplitDownloadUrl(url, parts) && parts.service == kServiceFile) {
            refusal = "refused, its URL " + record.m_codebase + " names a file, which a list from a server may not";
            return std::nullopt;
        }
        return record.m_codebase;
    }
    std::optional<std::string> source = UrlUnderServer(record.m_codebase, m_serverUrl);
    if (!source) {
        refusal = "refused, the path of its URL " + record.m_codebase + " would leave the repository folder";
    }
    return source;
}

int CZarnDoc::InstallComponent(CCompObj* record) {
    m_installFailure.clear();
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
        return FailInstall(step, "refused, its paths would leave the application directory");
    }
    if (kind != "EXE" && kind != "APP" && kind != "LIB" && kind != "REG") {
        Log(step + "install type " + Quoted(kind) + " needs nothing done");
        return 1;
    }
    if (!m_listKeys.empty() && (record->m_sha256.empty() || !record->m_size || record->m_integrityMalformed)) {
        // The signature vouches for the list; only a hash and size in it vouch for the file.
        const std::string text = "The component " + Quoted(record->m_desc) +
                                 " was refused: its block in the signed list lacks a valid sha256= and size=";
        m_host.ShowMessageBox(text);
        return FailInstall(step, "refused, its block lacks a valid sha256= and size=");
    }
    std::string refusal;
    const std::optional<std::string> source = SourceUrlOf(*record, refusal);
    if (!source) {
        return FailInstall(step, refusal);
    }
    const std::string targetDir = m_appDir + record->m_dir;
    const std::string localFile = targetDir + sep + record->m_fileName;
    // A download that did not complete leaves the component as it was, so its status must stay too.
    if (Download("download", *source, localFile, CheckOf(*record, *source)) != kIdOk) {
        const std::string failText = m_host.LastDownloadFailText();
        m_installFailure = failText.empty() ? "not downloaded" : "not downloaded: " + failText;
        return 0;
    }
    platform::ProgramEnd end;
    if (kind == "EXE") {
        if (const unsigned long error = platform::MakeExecutable(localFile); error != 0) {
            m_host.ShowMessageBox(kStartFailedText);
            return FailInstall(step, "cannot make " + localFile + " executable, error " + std::to_string(error));
        }
        if (const unsigned long error =
                platform::RunProgram(localFile, {}, platform::ProgramWindow::Own, platform::ProgramOutput::Own, end);
            error != 0) {
            m_host.ShowMessageBox(kStartFailedText);
            return FailInstall(step, CannotStart(localFile, error));
        }
        const int result = IsInstallerSuccess(end) ? 1 : 0;
        const std::string ended = localFile + " " + platform::DescribeProgramEnd(end);
        m_installerEnd = ended;
        Log(step + ended + ", result " + std::to_string(result));
        m_installFailure = result == 1 ? std::string() : ended;
        return result;
    }
    if (kind == "APP") {
        Log(step + "file in place, result 1");
        return 1;
    }
    return InstallCabinet(*record, localFile, step);
}

int CZarnDoc::InstallCabinet(const CCompObj& record, const std::string& localFile, const std::string& step) {
    const std::string& kind = record.m_installType;
    const char sep = platform::PathSeparator();
    const std::string targetDir = m_appDir + record.m_dir;
    // Crash points carry the component's name: a test kills at one step of one component.
    const std::string crash = record.m_name + ":";
    // A cabinet that was not unpacked (refused, damaged, or no expander) is of no use and may be hostile: it does
    // not stay in the component's folder.
    const auto discardCabinet = [&] {
        if (!platform::RemoveFile(localFile)) {
            Log(step + "cannot remove " + localFile + ", error " + std::to_string(platform::LastErrorCode()));
        }
        return 0;
    };

    // On disk before the first change: a kill from here on is finished or undone at the next start.
    InstallJournal journal;
    journal.component = record.m_desc;
    journal.installId = InstallJournal::NewInstallId();
    journal.installType = kind;
    const std::string journalPath = InstallJournal::PathOf(m_appDir, journal.installId);
    if (const unsigned long code = journal.Write(journalPath); code != 0) {
        FailInstall(step, "cannot write the install journal " + journalPath + ", error " + std::to_string(code));
        return discardCabinet();
    }
    platform::CrashPoint(crash + "journal");

    // Our own expander beside the launcher, by its full path: no search path a download could plant a file into.
    // It leaves every file beside its target and lists them; its messages say which entry it refused and why.
    const std::string expander = m_appDir + platform::ProgramFileName("zarn-expand");
    const std::string stagedList = localFile + ".staged" + platform::UniqueFileSuffix();
    platform::ProgramEnd end;
    if (const unsigned long error =
            platform::RunProgram(expander, {"-F:*", localFile, targetDir, "--stage", stagedList},
                                 platform::ProgramWindow::None, platform::ProgramOutput::Captured, end);
        error != 0) {
        m_host.ShowMessageBox(kStartFailedText);
        FailInstall(step, CannotStart(expander, error));
        DropJournal(journal, step);
        return discardCabinet();
    }
    const std::vector<std::string> messages = MessageLines(end.output);
    for (const std::string& line : messages) {
        Log(step + line);
    }
    const std::string ended = "zarn-expand " + platform::DescribeProgramEnd(end);
    const std::optional<std::string> listed = end.ExitedWith(0) ? platform::ReadWholeFile(stagedList) : std::nullopt;
    platform::RemoveFile(stagedList);
    if (!end.ExitedWith(0)) {
        FailInstall(step, ended);
        if (!messages.empty()) {
            m_installFailure = messages.back();
        }
        DropJournal(journal, step);
        return discardCabinet();
    }
    Log(step + ended);
    bool listWhole = listed.has_value();
    for (std::size_t at = 0; listWhole && at < listed->size();) {
        const std::size_t targetEnd = listed->find('\0', at);
        const std::size_t stagedEnd = targetEnd == std::string::npos ? targetEnd : listed->find('\0', targetEnd + 1);
        listWhole =
            stagedEnd != std::string::npos && journal.AddFile(m_appDir, listed->substr(at, targetEnd - at),
                                                              listed->substr(targetEnd + 1, stagedEnd - targetEnd - 1));
        at = stagedEnd + 1;
    }
    journal.state = InstallJournal::State::Staged;
    if (!listWhole) {
        FailInstall(step, "the list of the files zarn-expand unpacked cannot be read");
        static_cast<void>(UndoInstall(journal, step));
        return 0;
    }
    if (const unsigned long code = journal.Write(journalPath); code != 0) {
        FailInstall(step, "cannot write the install journal " + journalPath + ", error " + std::to_string(code));
        static_cast<void>(UndoInstall(journal, step));
        return 0;
    }
    platform::CrashPoint(crash + "staged");

    std::string failedTarget;
    unsigned long swapError = 0;
    if (journal.Swap(m_appDir, crash, failedTarget, swapError) != 1) {
        const std::string why = swapError != 0 ? "error " + std::to_string(swapError) : "it did not take the new file";
        const std::string text = "The component " + Quoted(record.m_desc) + " was not installed: " + failedTarget +
                                 " could not be replaced (" + why + "); the previous version is kept";
        m_host.ShowMessageBox(text);
        FailInstall(step, failedTarget + " cannot be replaced, " + why);
        static_cast<void>(UndoInstall(journal, step));
        return 0;
    }
    journal.state = InstallJournal::State::Swapped;
    if (const unsigned long code = journal.Write(journalPath); code != 0) {
        FailInstall(step, "cannot write the install journal " + journalPath + ", error " + std::to_string(code));
        static_cast<void>(UndoInstall(journal, step));
        return 0;
    }
    platform::CrashPoint(crash + "swapped");

    if (kind == "REG") {
        const std::string registrationFile = targetDir + sep + record.m_regFile;
        // Every registry write of the control's registration lands in one transaction with the marker, or in none.
        platform::RegistrationCapture capture;
        if (capture.Begin() != 1) {
            FailInstall(step, "the registry cannot take the registration of " + registrationFile);
            static_cast<void>(UndoInstall(journal, step));
            return 0;
        }
        platform::CrashPoint(crash + "before-register");
        const int result = RegisterServer(registrationFile.c_str());
        platform::CrashPoint(crash + "after-register");
        Log(step + "DllRegisterServer of " + registrationFile + ", result " + std::to_string(result));
        if (result != 1) {
            capture.Abort();
            const std::string reason = RegistrationFailure(registrationFile, result);
            static_cast<void>(UndoInstall(journal, step));
            m_installFailure = reason;
            return result;
        }
        if (capture.Commit(journal.installId) != 1) {
            if (!capture.RefusedKey().empty()) {
                FailInstall(step, FormatString(IDS_NEEDS_KEY_RIGHT, capture.RefusedKey()));
                LackRight(record, m_installFailure);
            } else {
                FailInstall(step, "the registration of " + registrationFile + " could not be stored in the registry");
            }
            static_cast<void>(UndoInstall(journal, step));
            return 0;
        }
        if (capture.ForThisUser()) {
            Log(step + registrationFile +
                " registered for this user only: the machine's classes may not be changed by this user");
        }
        platform::CrashPoint(crash + "registered");
    }
    // The commit point of a "LIB"; for a "REG" the registration's marker is it already.
    journal.state = InstallJournal::State::Committed;
    if (const unsigned long code = journal.Write(journalPath); code != 0) {
        Log(step + "cannot write the install journal " + journalPath + ", error " + std::to_string(code) +
            "; the next start finishes the install");
        return 1;
    }
    platform::CrashPoint(crash + "committed");
    FinishInstall(journal, step, crash);
    platform::CrashPoint(crash + "done");
    Log(step + (kind == "REG" ? "registered" : "unpacked") + ", result 1");
    return 1;
}

void CZarnDoc::DropJournal(const InstallJournal& journal, const std::string& step) {
    const std::string path = InstallJournal::PathOf(m_appDir, journal.installId);
    if (!platform::RemoveFile(path)) {
        Log(step + "cannot remove the install journal " + path + ", error " +
            std::to_string(platform::LastErrorCode()));
        return;
    }
    static_cast<void>(platform::SyncDirectory(m_appDir + "complist"));
    if (platform::RegistrationCapture::Forget(journal.installId) != 1) {
        Log(step + "the registry keeps the marker of install " + journal.installId);
    }
}

int CZarnDoc::UndoInstall(const InstallJournal& journal, const std::string& step) {
    std::string problem;
    if (journal.Undo(m_appDir, problem) != 1) {
        // The journal stays: the next start tries again.
        Log(step + "cannot put the previous version back: " + problem);
        return 0;
    }
    Log(step + "the previous version is back");
    DropJournal(journal, step);
    return 1;
}

void CZarnDoc::FinishInstall(const InstallJournal& journal, const std::string& step, const std::string& crash) {
    std::string problem;
    if (journal.Finish(m_appDir, problem) != 1) {
        // Still in use, perhaps: the journal stays, and a later start removes what is left.
        Log(step + "cannot remove the previous version's " + problem + "; a later start tries again");
        return;
    }
    platform::CrashPoint(crash + "cleanup");
    DropJournal(journal, step);
}

int CZarnDoc::FinishInterruptedInstalls() {
    const std::vector<std::string> found = InstallJournal::FindAll(m_appDir);
    if (found.empty()) {
        return 1;
    }
    // No waiting: a holder of the lock is a running check whose own journals these may be.
    if (m_checkLock.TryLock(GetCheckLockPath()).state != platform::FileLock::State::Held) {
        Log("interrupted installs left for later: the update lock is not free");
        return 0;
    }
    const int result = FinishJournals(found);
    m_checkLock.Unlock();
    return result;
}

int CZarnDoc::FinishJournals(const std::vector<std::string>& found) {
    int result = 1;
    for (const std::string& path : found) {
        const std::optional<InstallJournal> journal = InstallJournal::Read(path);
        if (!journal) {
            Log("install journal " + path + " cannot be read; it is left as it is");
            result = 0;
            continue;
        }
        const std::string step = "interrupted install " + Quoted(journal->component) + ": ";
        if (journal->installType == "REG" && journal->state != InstallJournal::State::Committed &&
            !RegistryProblem().empty()) {
            // Whether its registration was committed cannot be told: undoing the files could leave a committed
            // registration pointing at the previous version.
            Log(step + "journal " + path + " is left for a later start: " + RegistryProblem());
            result = 0;
            continue;
        }
        const bool committed =
            journal->state == InstallJournal::State::Committed ||
            (journal->installType == "REG" && platform::RegistrationCapture::Settle(journal->installId) == 1);
        Log(step + "journal " + path + " found " + InstallJournal::StateName(journal->state) +
            (committed ? ", finishing it" : ", undoing it"));
        if (committed) {
            FinishInstall(*journal, step, "recovery:");
        } else if (UndoInstall(*journal, step) != 1) {
            result = 0;
        }
        if (platform::PathExists(path)) {
            result = 0;
        }
    }
    return result;
}

int CZarnDoc::FailInstall(const std::string& step, const std::string& reason) {
    Log(step + reason);
    m_installFailure = reason;
    return 0;
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
