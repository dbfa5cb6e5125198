// Everything one transfer needs to know: the split URL and the download dialog's inputs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zarn {

struct TransferSettings {
    // From the URL split.
    std::string hostName;
    std::uint16_t port = 80;
    std::string objectPath = "/";
    bool secure = false; // https

    std::string agentName; // empty: "zarn"
    int accessMode = 0;    // 0 system settings (proxy environment), 1 direct, 2 proxyHost; else failure 210
    std::string proxyHost;
    std::string proxyLogin;
    std::string proxyPwd;
    std::string siteLogin;
    std::string sitePwd;
    bool askProxyLogin = true;
    bool askSiteLogin = true;
    double maxBytesPerMs = 0.0; // 0 or less: no cap
    std::uint32_t resumeOffset = 0;

    // A transfer that receives nothing for this long fails with message 214.
    std::chrono::milliseconds silenceLimit{60000};
    // Extra certificate authority file to trust besides the system's (empty: the system's only).
    std::string caFile;
};

} // namespace zarn
