// Which proxy a request goes through under the system's settings (access mode 0), as the user's other programs find
// it: a PAC file named by the administrator, else the environment (http_proxy, https_proxy, all_proxy, no_proxy, as
// libcurl reads them), else the desktop's proxy setting (GNOME's GSettings, then KDE's kioslaverc: a manual proxy, a
// PAC file, or automatic discovery of one), else none. PAC files are run by pacparser. Answers that needed a PAC file
// are kept for the run, per scheme and host, and so is GNOME's setting (read through gsettings, given 2 seconds).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarn {

class ProxyResolver {
public:
    struct Choice {
        std::string proxy;  // as libcurl takes it ("http://host:port", "socks5://host:port"); empty: direct
        std::string reason; // where it came from, for the log
        // A PAC answer's later entries, in order ("" for direct): tried when the proxy before cannot be reached.
        std::vector<std::string> fallbacks = {};
    };

    // The most a PAC file's download and run may take; after it the request goes direct and the log says why.
    static constexpr std::chrono::milliseconds kDiscoveryLimit{5000};

    // The proxy for a request to scheme://host:port; `pacUrl` not empty: that PAC file decides (an administrator's
    // setting). Waits for a PAC file at most kDiscoveryLimit, and returns early (direct) once `stopped` says so.
    // Worker thread; never fails (a setting that cannot be read or run means direct, and the reason says so).
    static Choice Resolve(const std::string& scheme, const std::string& host, std::uint16_t port,
                          const std::string& pacUrl, const std::function<bool()>& stopped);

    // Drops the PAC files, answers and GNOME setting kept so far (tests change the settings within one run). Any
    // thread.
    static void ForgetAnswers();
};

} // namespace zarn
