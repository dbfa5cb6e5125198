#include "components/LauncherSettings.h"

#include "components/ComponentListReader.h"
#include "components/Registry.h"
#include "components/ServerUrl.h"
#include "download/DownloadQueue.h"
#include "text/AsciiText.h"

#include <algorithm>
#include <optional>

namespace zarn {

namespace {

std::string RecentFileValue(int index) {
    return "File" + std::to_string(index);
}

} // namespace

std::string LauncherSettings::StoredCaFile() {
    CRegistry settings(HKEY_CURRENT_USER);
    std::string value;
    if (!settings.ReadString(kKey, kCaFileValue, value)) {
        return {};
    }
    return value;
}

std::string LauncherSettings::CaFile(const std::optional<std::string>& given) {
    return given ? *given : StoredCaFile();
}

int LauncherSettings::StoreCaFile(const std::string& path) {
    CRegistry settings(HKEY_CURRENT_USER);
    return settings.WriteString(kKey, kCaFileValue, path.c_str());
}

std::vector<std::string> LauncherSettings::RecentFiles(int count) {
    CRegistry settings(HKEY_CURRENT_USER);
    std::vector<std::string> paths;
    for (int i = 1; i <= count; ++i) {
        std::string path;
        if (settings.ReadString(kRecentFileKey, RecentFileValue(i).c_str(), path) && !path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

int LauncherSettings::StoreRecentFiles(const std::vector<std::string>& paths, int keep) {
    CRegistry settings(HKEY_CURRENT_USER);
    int index = 1;
    for (const std::string& path : paths) {
        if (!settings.WriteString(kRecentFileKey, RecentFileValue(index++).c_str(), path.c_str())) {
            return 0;
        }
    }
    // A longer list stored before must not leave its oldest entries behind the new ones.
    for (; index <= keep; ++index) {
        const std::string name = RecentFileValue(index);
        std::string stale;
        // Another launcher may have removed it between the read and the delete: gone is what is wanted.
        if (settings.ReadString(kRecentFileKey, name.c_str(), stale) &&
            !settings.Delete(kRecentFileKey, name.c_str()) &&
            settings.ReadString(kRecentFileKey, name.c_str(), stale)) {
            return 0;
        }
    }
    return 1;
}

std::uint64_t LauncherSettings::AcceptedListSerial() {
    // Only the form StoreAcceptedListSerial writes counts: anything else was not written by the launcher.
    CRegistry settings(HKEY_CURRENT_USER);
    CRegistryValue value;
    std::string text;
    if (!settings.ReadValue(kKey, kListSerialValue, value) || value.GetType() != REG_SZ || !value.GetString(text)) {
        return 0;
    }
    return ParseDecimalUint64(text).value_or(0);
}

int LauncherSettings::DownloadsAtOnce() {
    CRegistry settings(HKEY_CURRENT_USER);
    CRegistryValue value;
    DWORD count = 0;
    if (!settings.ReadValue(kKey, kDownloadsAtOnceValue, value) || !value.GetDword(count)) {
        return DownloadQueue::kDefaultAtOnce;
    }
    return static_cast<int>(std::clamp<DWORD>(count, 1, DownloadQueue::kMostAtOnce));
}

std::vector<std::string> LauncherSettings::Servers(const std::string& primary,
                                                   const std::vector<std::string>& policyMirrors) {
    std::vector<std::string> servers{primary};
    CRegistry settings(HKEY_CURRENT_USER);
    std::vector<std::string> mirrors = policyMirrors;
    if (mirrors.empty() && !settings.ReadMultiString(kKey, kMirrorsValue, mirrors)) {
        return servers;
    }
    for (std::string mirror : mirrors) {
        const std::string lower = ToLowerAscii(mirror);
        std::optional<std::string> server;
        if (lower.starts_with("http://") || lower.starts_with("https://")) {
            while (mirror.ends_with('/')) {
                mirror.pop_back();
            }
            server = std::move(mirror);
        } else {
            // A folder, by path or file URL: a share that holds a copy of the repository.
            server = FolderServerUrl(mirror);
        }
        if (server && std::find(servers.begin(), servers.end(), *server) == servers.end()) {
            servers.push_back(std::move(*server));
        }
    }
    return servers;
}

int LauncherSettings::StoreAcceptedListSerial(std::uint64_t serial) {
    CRegistry settings(HKEY_CURRENT_USER);
    return settings.WriteString(kKey, kListSerialValue, std::to_string(serial).c_str());
}

} // namespace zarn
