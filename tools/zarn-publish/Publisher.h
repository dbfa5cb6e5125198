// zarn-publish build: the vendor repository a manifest describes, as the launcher fetches it.
#pragma once

#include "tools/zarn-publish/Manifest.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace zarn {

class Publisher {
public:
    // `server` is "http://host[:port]" or "https://host[:port]" (a trailing "/" is dropped); the list stays valid
    // for `validDays` days from `now` (seconds since the epoch).
    Publisher(const Manifest& manifest, std::string server, int validDays, std::int64_t now);

    // Writes every component under `root`'s components folder (cabinets packed, files copied), then the list
    // with each one's version, URL, SHA-256 and size, the serial one above that of the list already in `root`
    // (1 without one) and the expiry, then its signature with `privateKeyPem`. Each file goes in beside its
    // target and is renamed into place. False with `error` set on the first failure; `summary` says what was
    // published. One thread at a time.
    bool Build(const std::filesystem::path& root, const std::string& privateKeyPem, std::string& summary,
               std::string& error) const;

private:
    const Manifest& m_manifest;
    std::string m_server;
    int m_validDays;
    std::int64_t m_now;
};

} // namespace zarn
