// The launcher's settings, one store for the window, the console mode and the update check: the certificate
// authority file, the recent documents and the highest accepted list serial, all under
// HKEY_CURRENT_USER\Software\Ostrevant\zarn through the registry wrapper, on every system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

// Every operation opens the registry afresh, so any thread may call it; the int results are 1 when done, 0 not.
class LauncherSettings {
public:
    static constexpr const char* kKey = "Software\\Ostrevant\\zarn";
    // The recent documents, values File1 (the newest) to FileN, in a subkey as the framework keeps them.
    static constexpr const char* kRecentFileKey = "Software\\Ostrevant\\zarn\\Recent File List";
    static constexpr const char* kCaFileValue = "caFile";
    static constexpr const char* kListSerialValue = "ListSerial";
    static constexpr const char* kDownloadsAtOnceValue = "DownloadsAtOnce";
    static constexpr const char* kMirrorsValue = "Mirrors";
    // The recent-document list's length.
    static constexpr int kMaxRecentFiles = 4;

    // The stored certificate authority file; empty when none is stored.
    static std::string StoredCaFile();
    // The certificate authority file a run trusts: the one the command line gave, else the stored one.
    static std::string CaFile(const std::optional<std::string>& given);
    static int StoreCaFile(const std::string& path);

    // The stored recent documents among File1 to File`count`, newest first; missing or empty entries are skipped.
    static std::vector<std::string> RecentFiles(int count);
    // Replaces the stored list with `paths` (newest first); entries beyond them up to File`keep` are removed.
    static int StoreRecentFiles(const std::vector<std::string>& paths, int keep);

    // The highest list serial this installation has accepted; 0 when none was ever stored (every real serial is
    // at least 1).
    static std::uint64_t AcceptedListSerial();
    static int StoreAcceptedListSerial(std::uint64_t serial);

    // How many component files the update check fetches at once (and so the most connections it opens to one
    // server): the stored DWORD, kept within 1 to 16; 3 when none is stored.
    static int DownloadsAtOnce();

    // The servers an update check fetches from, in the order it tries them: `primary` (the command line's or the
    // built-in one), then each mirror that is an http(s) server, or an existing folder given by path or file URL (as
    // its file URL, FolderServerUrl), without a trailing "/", each server once. The mirrors are `policyMirrors` (the
    // administrators'), unless empty; else the stored ones (REG_MULTI_SZ Mirrors).
    static std::vector<std::string> Servers(const std::string& primary,
                                            const std::vector<std::string>& policyMirrors = {});
};

} // namespace zarn
