// Everything one transfer needs to know: the split URL and the download dialog's inputs.
#pragma once

#include "download/UrlSplit.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

struct TransferSettings {
    // The settings of a download of the URL split into `parts`, every other input at its default, and the waits
    // between attempts as the environment scales them (RetryPolicy::DelayScaleFromEnvironment).
    static TransferSettings ForUrl(const UrlParts& parts);

    // From the URL split.
    std::string hostName;
    std::uint16_t port = 80;
    std::string objectPath = "/";
    bool secure = false; // https
    // A file URL: hostName and objectPath name a file read from the disk or a share (FileTransfer), no network.
    bool localFile = false;

    std::string agentName; // empty: "zarn"
    int accessMode = 0;    // 0 system settings (proxy environment), 1 direct, 2 proxyHost; else failure 210
    std::string proxyHost;
    // A PAC file (URL) that chooses the proxy in mode 0 instead of the system's settings (an administrator's).
    std::string proxyPacUrl;
    std::string proxyLogin;
    std::string proxyPwd;
    std::string siteLogin;
    std::string sitePwd;
    bool askProxyLogin = true;
    bool askSiteLogin = true;
    double maxBytesPerMs = 0.0; // 0 or less: no cap
    std::uint64_t resumeOffset = 0;
    // Attempts of one download in all, the first included; the later ones follow transient failures and continue
    // what arrived when the server can vouch that the file is the same (RetryPolicy, ResumeDecision).
    int maxAttempts = 4;
    // Every wait between attempts is multiplied by this (tests shorten them).
    double retryDelayScale = 1.0;

    // A transfer that receives nothing for this long fails with message 214.
    std::chrono::milliseconds silenceLimit{60000};
    // A transfer whose request has gone out and that then receives fewer than `floorBytes` (headers and body)
    // over any `floorWindow` fails as silence does. 4 KiB a minute is 68 bytes a second: under a quarter of the
    // slowest link still in use (a 2.4 kbit/s satellite phone moves 300 bytes a second, 18 KB a minute), which
    // still clears the floor after a stall of three quarters of the minute; a link of a few KB/s clears it many
    // times over. A rate cap (maxBytesPerMs) below the floor would make every long transfer fail.
    std::chrono::milliseconds floorWindow{60000};
    std::uint64_t floorBytes = 4096;
    // The copy of the file already on disk, for a conditional request (the component list): sent as If-None-Match
    // and If-Modified-Since, each when not empty, on a request for the whole file. A 304 answer then leaves the
    // target as it is and ends as success.
    std::string ifNoneMatch;
    std::string ifModifiedSince;
    // Extra certificate authority file to trust besides the system's (empty: the system's only).
    std::string caFile;
    // The same file on the servers to try after this one, in order (mirrors): the next one is asked when this one
    // cannot be reached, still answers 5xx after its attempts, or serves a body that is not the listed file.
    std::vector<std::string> alternateUrls;

    // These settings for a download of `url` instead (split as the download dialog splits it); nullopt when it does
    // not split. Any thread.
    std::optional<TransferSettings> ForSource(std::string url) const;

    // What the body must be, from the component list: a body that passes `expectedSize` is cut off at once, and
    // one that ends with another size or SHA-256 (64 lower-case hex digits) fails and is not kept. Unset: not
    // checked. Both describe the whole file, so they apply to a download from its start.
    std::optional<std::uint64_t> expectedSize;
    std::string expectedSha256;
    // The most a body may have when its exact size is not known (the component list and its signature): one that
    // passes it is cut off at once and not kept. Unset: no limit.
    std::optional<std::uint64_t> sizeLimit;
};

} // namespace zarn
