// The document: owns the component records and drives the update check, from fetching the list to installing
// every missing or out-of-date component. It reaches views and dialogs only through its CDocumentHost.
#pragma once

#include "components/ComponentListReader.h"
#include "components/DocumentHost.h"
#include "components/LauncherPolicy.h"
#include "components/UpdateLog.h"
#include "platform/FileLock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <ios>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

class InstallJournal;

class CZarnDoc {
public:
    // `appDir` is the application directory and ends in the platform's separator; `serverUrl` is the vendor's
    // server as "http://host[:port]" or "https://host[:port]", or a folder holding a copy of its repository as
    // "file:///DIR", without a trailing "/"; `host` shows the document and must outlive it. UI thread.
    CZarnDoc(std::string appDir, std::string serverUrl, CDocumentHost& host);
    // A document with no server and no views, for reading the list and detecting versions only: its downloads
    // never complete and it shows nothing. UI thread.
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

    // The update check: shows the list, hides the design control, fetches and reads the list and detects
    // versions, switches to list mode, installs every "NOT_INSTALLED" or "OUT_OF_DATE" record (marking it
    // "CURRENT" when that returns 1), bringing the main window to the front and updating the views after every
    // record, and ends by offering the start dialog with its update button disabled. Each record it tried to
    // install keeps in m_failure why that did not work (empty when it did). When all are done, every "EXE", "APP",
    // "LIB" or "REG" record whose install returned 1 is detected again: one that then reads neither "CURRENT" nor
    // "NEWER THAN SPECIFIED" takes the status detection gives it, with m_failure saying what its version reads, and
    // one message names them all (nothing is undone for it). The application directory's update lock is held from
    // the list's download to that detection; while another process holds it, the check waits (see
    // SetOtherCheckWait), then gives up saying so, shows the list on disk and installs nothing. A component whose
    // folder this user may not write is not attempted, and one whose registration must change a registry key the
    // user may not is undone; one message names them all (see LastCheckLackedRights). UI thread; shows no other
    // message of its own but LoadComponentList's and those, and never stops early.
    void CheckForUpdates();

    // DownloadComponentList, ParseComponentList (of the very bytes the download verified, when lists are signed),
    // CheckInstalledVersions, whatever the first two return, holding the application directory's update lock
    // throughout unless the caller holds it already. When another process holds it past the wait, only the list
    // file on disk is read and its versions detected (see LastCheckBusy). First, when the registry cannot be read,
    // tells the user and the log so once. UI thread. Returns 1.
    int LoadComponentList();

    // Downloads the server's "//quillornacc//complist//complist.txt" (cut off past 16 MiB; with keys, its ".sig"
    // past 4 KiB) to the list file. UI thread. Returns 1 when the download ended with kIdOk, else 0 (the host has
    // told the user; the previous list file stays).
    int DownloadComponentList();

    // The application directory's update lock file, "complist/zarn-update.lock": one update check at a time (list
    // download through installs) per application directory, whichever process runs it. Any thread.
    std::string GetCheckLockPath() const;

    // How long a check waits for another process's check of the same application directory to end before it gives
    // up; 30 seconds until set. UI thread.
    void SetOtherCheckWait(std::chrono::milliseconds wait) { m_otherCheckWait = wait; }

    // True when the last check or LoadComponentList gave up because another process's update check of this
    // application directory went on for longer than the wait. UI thread.
    bool LastCheckBusy() const { return m_lastCheckBusy; }

    // True when the last check could not do all it had to for want of the user's rights: the list folder, a
    // component's folder or a registry key of the machine may not be written by this user. One message said
    // which. UI thread.
    bool LastCheckLackedRights() const { return m_lastCheckLackedRights; }

    // The start-up check: without a list file, tells the user that an online update is required and runs
    // CheckForUpdates. UI thread. Returns 1.
    int CheckComponentListPresent();

    // Downloads the record's file to its directory under the application directory and installs it by
    // m_installType: "EXE" runs it and waits, "APP" leaves it, "LIB" unpacks the cabinet with zarn-expand from the
    // application directory, "REG" unpacks and then RegisterServer()s m_regFile; any other type downloads
    // nothing. Writes nothing into the record. UI thread; blocks while a program runs. Returns 1 when done; 0
    // for a null record, a record whose paths would leave the application directory (nothing is downloaded),
    // a download that did not end with kIdOk, a program that could not be started ("CreateProcess failed." is
    // shown), an installer that did not exit with 0, 1641 or 3010 (on POSIX with 0), or an expander that did not
    // exit with 0 (its messages go into the log); for "REG" otherwise RegisterServer's result. A "LIB" or "REG" is
    // installed whole or not at all: journaled in the list folder before its first change (0 when the journal
    // cannot be written), its files unpacked beside their targets and swapped in together (0, with a message naming
    // the file, when one cannot be replaced), a "REG" registered inside a RegistrationCapture; on any failure every
    // previous file is back and the registry is as it was. LastInstallFailure() then says why it was not 1.
    int InstallComponent(CCompObj* record);

    // Finishes or undoes every install that a killed launcher left journaled in the list folder, so that each
    // component is exactly its old or exactly its new version (files and registration) before anything else reads
    // the application directory: a committed one loses the previous files kept aside, any other gets them back and
    // loses the new ones. Takes the update lock without waiting; while another process holds it, leaves the journals
    // to it. Call once at start. UI thread. Returns 1 when no journal is left; 0 when one is left for a later start
    // (the lock was busy, a journal cannot be read, or a file is still in use; the log says which). LoadComponentList
    // and so every check does the same once it holds the lock.
    int FinishInterruptedInstalls();

    // Why the last InstallComponent did not return 1, for the user (its log line's text, or the expander's last
    // message); empty when it returned 1 or has not run. UI thread.
    const std::string& LastInstallFailure() const { return m_installFailure; }

    // Loads the library at the absolute `path`, calls its DllRegisterServer and releases it. UI thread (the
    // library's code runs on it). Returns 1 when DllRegisterServer returned a success HRESULT (not negative);
    // 0 when it returned a failure HRESULT; -1 when there is no such export; the system's nonzero error code
    // when the library could not be loaded (0 instead should that code be 1, which would read as done).
    int RegisterServer(const char* path);

    // Nothing beyond starting a document: the list and m_listMode are left as they are. UI thread. Returns 1.
    int OnNewDocument();

    // The document keeps nothing in files of its own: reads and writes nothing, in either direction. Any thread.
    void Serialize(std::ios& archive);

    // The log the document writes every step of its checks to, which must outlive it; nullptr (the default)
    // writes none. UI thread.
    void SetLog(UpdateLog* log) { m_log = log; }

    // True when the last LoadComponentList downloaded the list and read it whole; false before the first one.
    // UI thread.
    bool LastListLoaded() const { return m_lastListLoaded; }

    // The application directory given at construction. Any thread.
    const std::string& GetAppDir() const { return m_appDir; }

    // The path of the component list file under the application directory. Any thread.
    std::string GetComponentListPath() const;

    // The vendor's public keys (PEM) that a downloaded list must be signed with; BuiltInListKeys() until set.
    // With keys, DownloadComponentList replaces the list file only with a list whose signature verifies with
    // one of them, whose serial is not below the highest accepted so far (in the settings, or in the list file
    // on disk when its signature beside it verifies) and which has not expired, and only components whose blocks
    // carry sha256= and size= are installed. Empty: lists are read unsigned. UI thread.
    void SetListKeys(std::vector<std::string> keys) { m_listKeys = std::move(keys); }
    bool ListsAreSigned() const { return !m_listKeys.empty(); }

    // What the last DownloadComponentList refused the downloaded list for, as told to the user; empty when it
    // refused none. UI thread.
    const std::string& LastListRefusal() const { return m_listRefusal; }

    // The administrators' policy the checks follow; none until set. With UpdatesDisabled a check fetches the list
    // and detects versions but downloads and installs nothing, and tells the user so once. A component pinned to a
    // version below the list's is not installed, and reads "CURRENT" when that version is what detection finds.
    // UI thread.
    void SetPolicy(LauncherPolicy policy) { m_policy = std::move(policy); }

    // The serial and expiry of the list last read by ParseComponentList (none before the first).
    const ListHeader& GetListHeader() const { return m_listHeader; }

    std::int32_t m_listMode = 0;
    ComponentList m_compList;

private:
    // Rebuilds m_compList from what `feed` gives a reader; `feed` returns false on a read error. Returns 1 when it
    // was read whole, else 0 with the list empty.
    int ReadList(const std::function<bool(ComponentListReader&)>& feed);
    // Takes the update lock, waiting for another process's check for up to m_otherCheckWait; false (the user has
    // been told) when it cannot.
    bool TakeCheckLock();
    // What a check does without the lock: reads the list file on disk and detects versions. Returns 1.
    int LoadListOnDisk();
    // Removes what killed downloads left in the list folder and in every folder the records name.
    void RemoveLeftovers(bool listFolder);
    // True when `signature` is a signature of `list` by one of the vendor's keys.
    bool SignedByVendor(std::string_view list, std::string_view signature) const;
    // The lowest serial a new list may have: the higher of the settings' and that of the list file on disk, when its
    // signature beside it still verifies (the settings may have been lost).
    std::uint64_t SerialFloor() const;
    // Sets the record's m_status from the version installed on this machine; returns that version as detection read
    // it (the file's FileVersion text, else its numbers), empty when it found no file with a version.
    std::string CheckRecord(CCompObj& record) const;
    // Detects again each of `installed`, whose installs returned 1 (with how its installer ended, empty for none): one
    // that reads "CURRENT" or "NEWER THAN SPECIFIED" is "CURRENT", any other keeps the status detection gives it and
    // m_failure says what it reads. Returns one line for the user per record that did not read current.
    std::vector<std::string> VerifyInstalled(const std::vector<std::pair<CCompObj*, std::string>>& installed);
    // True when the policy pins `record` to a version below the one listed.
    bool PinnedBelowList(const CCompObj& record) const;
    // For a record PinnedBelowList, after detection read `reads` for it: "CURRENT" when that is the pinned version.
    void ApplyPin(CCompObj& record, const std::string& reads) const;
    // True when the check installs `record`: it is missing or out of date and the policy lets it be updated.
    bool WillInstall(const CCompObj& record) const;
    // Why `record` cannot be installed by this user: the reason naming the folder its file goes to, which the user
    // may not write; empty when the user may.
    std::string FolderRightLacking(const CCompObj& record) const;
    // Keeps `reason` as why `record` was not installed for want of a right, for the check's one message about them.
    void LackRight(const CCompObj& record, const std::string& reason);
    // The URL `record`'s file is fetched from: its listed URL from a web server; from a folder, the same path under
    // the folder (ServerUrl.h). nullopt, with `refusal` saying why, for a file: URL in a list from the network (it
    // could read any file this user can) and for a path that would leave the folder.
    std::optional<std::string> SourceUrlOf(const CCompObj& record, std::string& refusal) const;
    // What `record`'s file fetched from `source` must be, and where else it is: the same path under each mirror
    // (LauncherSettings::Servers after the first).
    DownloadCheck CheckOf(const CCompObj& record, const std::string& source) const;
    // The download InstallComponent will ask for `record`; none when it will download nothing.
    std::optional<PlannedDownload> PlannedDownloadOf(const CCompObj& record) const;
    // Runs the host's download and logs its outcome under `what`; returns the host's result.
    int Download(const std::string& what, const std::string& sourceUrl, const std::string& targetPath,
                 const DownloadCheck& check);
    // Which check the downloaded `list` with its `signature` fails, as a text for the user; empty when it passes,
    // `serial` then being its serial.
    std::string CheckDownloadedList(std::string_view list, std::string_view signature, std::uint64_t& serial) const;
    // Refuses the downloaded list: tells the user and the log why and returns 0.
    int RefuseList(const std::string& reason);
    // Finishes or undoes each journal of `found` (paths) under the update lock, which the caller holds. Returns 1
    // when none is left.
    int FinishJournals(const std::vector<std::string>& found);
    // Installs a "LIB" or "REG" cabinet downloaded to `localFile`: journals the install, unpacks every file beside
    // its target, swaps them all in, registers a "REG" inside a registration capture, and undoes everything on any
    // failure. Returns InstallComponent's result.
    int InstallCabinet(const CCompObj& record, const std::string& localFile, const std::string& step);
    // Puts every previous file of the journal back and, when that is done, drops the journal; 1 when done.
    int UndoInstall(const InstallJournal& journal, const std::string& step);
    // Removes the previous files kept aside and then the journal; the journal stays while one cannot go. Calls
    // platform::CrashPoint(crash + "cleanup") between the two.
    void FinishInstall(const InstallJournal& journal, const std::string& step, const std::string& crash);
    // Removes the journal file and then the registration's marker.
    void DropJournal(const InstallJournal& journal, const std::string& step);
    // Logs `reason` under the install step `step` and keeps it as why the component was not installed; returns 0.
    int FailInstall(const std::string& step, const std::string& reason);
    void Log(const std::string& text) const;

    std::string m_appDir;
    std::string m_serverUrl;
    CDocumentHost& m_host;
    UpdateLog* m_log = nullptr;
    bool m_lastListLoaded = false;
    ListHeader m_listHeader;
    std::vector<std::string> m_listKeys;
    std::string m_listRefusal;
    // Why the last InstallComponent did not return 1, as the user is told; empty after one that did.
    std::string m_installFailure;
    // How the installer the last InstallComponent ran ended ("<path> exited with status 0"); empty when it ran none.
    std::string m_installerEnd;
    // The bytes of the list the last DownloadComponentList verified and put in place; read instead of the file.
    std::optional<std::string> m_acceptedList;
    platform::FileLock m_checkLock;
    std::chrono::milliseconds m_otherCheckWait{30000};
    bool m_lastCheckBusy = false;
    bool m_lastCheckLackedRights = false;
    // One line per component the running check could not install for want of a right.
    std::vector<std::string> m_rightsLacking;
    LauncherPolicy m_policy;
    bool m_toldUpdatesDisabled = false;
};

} // namespace zarn
