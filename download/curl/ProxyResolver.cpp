#include "download/curl/ProxyResolver.h"

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "text/AsciiText.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <pacparser.h>
#include <sstream>
#include <thread>
#include <vector>

namespace zarn {

namespace {

// A PAC file is a short script; anything far larger is no PAC file.
constexpr std::size_t kMaxPacSize = 1024 * 1024;
// The PAC file's own download gets most of the limit; running it gets the rest.
constexpr long kPacFetchLimitMs = 3000;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An IPv4 address in dotted form as one number; nullopt for anything else.
std::optional<std::uint32_t> Ipv4(const std::string& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) != 4 || a > 255 || b > 255 || c > 255 ||
        d > 255) {
        return std::nullopt;
    }
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// Whether `host` is an IPv4 address inside `range` ("127.0.0.0/8").
bool InRange(const std::string& range, const std::string& host) {
    const std::size_t slash = range.find('/');
    const auto address = Ipv4(host);
    const auto network = Ipv4(range.substr(0, slash));
    const int bits = std::atoi(range.c_str() + slash + 1);
    if (!address || !network || bits < 0 || bits > 32) {
        return false;
    }
    const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
    return (*address & mask) == (*network & mask);
}

// no_proxy as libcurl reads it: "*" for every host, else names separated by commas or blanks, each matching
// itself and its subdomains (a leading dot changes nothing); the desktops' lists also hold address ranges.
bool Excluded(const std::string& noProxy, const std::string& host) {
    const std::string name = ToLowerAscii(host);
    std::string entry;
    std::istringstream entries(noProxy);
    while (std::getline(entries, entry, ',')) {
        std::istringstream words(entry);
        std::string word;
        while (words >> word) {
            if (word == "*" || (word.find('/') != std::string::npos && InRange(word, host))) {
                return true;
            }
            word = ToLowerAscii(word[0] == '.' ? word.substr(1) : word);
            if (word.empty()) {
                continue;
            }
            if (name == word ||
                (name.size() > word.size() && name.compare(name.size() - word.size(), word.size(), word) == 0 &&
                 name[name.size() - word.size() - 1] == '.')) {
                return true;
            }
        }
    }
    return false;
}

// The environment's answer, or none when it names no proxy for this scheme. libcurl takes http_proxy in lower
// case only (a CGI program's HTTP_PROXY comes from the request); every other name in either case.
std::optional<ProxyResolver::Choice> FromEnvironment(const std::string& scheme, const std::string& host) {
    const char* const names[] = {scheme == "https" ? "https_proxy" : "http_proxy",
                                 scheme == "https" ? "HTTPS_PROXY" : nullptr, "all_proxy", "ALL_PROXY"};
    for (const char* name : names) {
        if (!name) {
            continue;
        }
        const std::string proxy = Environment(name);
        if (proxy.empty()) {
            continue;
        }
        const char* noProxyName = Environment("no_proxy").empty() ? "NO_PROXY" : "no_proxy";
        if (Excluded(Environment(noProxyName), host)) {
            return ProxyResolver::Choice{"", std::string("environment (") + noProxyName + " names " + host + ")"};
        }
        return ProxyResolver::Choice{proxy, std::string("environment (") + name + ")"};
    }
    return std::nullopt;
}

// GNOME's setting (GSettings org.gnome.system.proxy), as its own tool prints it: "<schema> <key> <value>" lines,
// strings quoted. Empty when the tool or the schema is not there.
std::map<std::string, std::string> ReadGnomeSetting() {
    static const std::string tool = "/usr/bin/gsettings";
    // gsettings asks the desktop's settings service, which may hang: coreutils' timeout ends it.
    static const std::string timeout = "/usr/bin/timeout";
    std::map<std::string, std::string> values;
    platform::ProgramEnd end;
    if (!platform::FileExists(tool) || !platform::FileExists(timeout) ||
        platform::RunProgram(timeout, {"-s", "KILL", "2", tool, "list-recursively", "org.gnome.system.proxy"},
                             platform::ProgramWindow::None, platform::ProgramOutput::Captured, end) != 0 ||
        !end.ExitedWith(0)) {
        return values;
    }
    std::istringstream lines(end.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string schema, key;
        words >> schema >> key;
        std::string value;
        std::getline(words, value);
        value = std::string(TrimWhiteSpace(value));
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        values[schema + " " + key] = value;
    }
    return values;
}

// GNOME's ignore-hosts, "['localhost', '127.0.0.0/8']", as a no_proxy list.
std::string GnomeIgnoreList(std::string list) {
    for (char& c : list) {
        if (c == '[' || c == ']' || c == '\'') {
            c = ' ';
        }
    }
    return list;
}

// The desktop's setting as KDE keeps it: [Proxy Settings] in kioslaverc, ProxyType 1 manual, 2 a PAC file, 3
// automatic discovery.
struct DesktopSetting {
    std::string file;
    int type = 0;
    std::string pacUrl;
    std::string httpProxy, httpsProxy, noProxyFor;
};

std::optional<DesktopSetting> ReadKdeSetting() {
    std::string folder = Environment("XDG_CONFIG_HOME");
    if (folder.empty()) {
        const std::string home = Environment("HOME");
        if (home.empty()) {
            return std::nullopt;
        }
        folder = home + "/.config";
    }
    DesktopSetting setting;
    setting.file = folder + "/kioslaverc";
    std::ifstream in(setting.file);
    if (!in) {
        return std::nullopt;
    }
    bool inGroup = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string text(TrimWhiteSpace(line));
        if (!text.empty() && text[0] == '[') {
            inGroup = text == "[Proxy Settings]";
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inGroup || equals == std::string::npos) {
            continue;
        }
        const std::string key(TrimWhiteSpace(std::string_view(text).substr(0, equals)));
        const std::string value(TrimWhiteSpace(std::string_view(text).substr(equals + 1)));
        if (key == "ProxyType") {
            setting.type = std::atoi(value.c_str());
        } else if (key == "Proxy Config Script") {
            setting.pacUrl = value;
        } else if (key == "httpProxy") {
            setting.httpProxy = value;
        } else if (key == "httpsProxy") {
            setting.httpsProxy = value;
        } else if (key == "NoProxyFor") {
            setting.noProxyFor = value;
        }
    }
    return setting;
}

// KDE writes a manual proxy as "http://host port"; libcurl wants "http://host:port".
std::string KdeProxy(std::string value) {
    const std::size_t blank = value.rfind(' ');
    if (blank != std::string::npos) {
        value[blank] = ':';
    }
    return value;
}

// The entries of a PAC answer ("PROXY a:3128; PROXY b:3128; DIRECT") that libcurl can use, in order, as it takes
// them ("" for DIRECT, after which nothing is tried); empty when it names none.
std::vector<std::string> ProxiesOf(const std::string& answer) {
    std::vector<std::string> proxies;
    std::istringstream entries(answer);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        std::istringstream words(entry);
        std::string kind, where;
        words >> kind >> where;
        kind = ToLowerAscii(kind);
        if (kind == "direct") {
            proxies.emplace_back();
            break;
        }
        if (where.empty()) {
            continue;
        }
        if (kind == "proxy" || kind == "http") {
            proxies.push_back("http://" + where);
        } else if (kind == "https") {
            proxies.push_back("https://" + where);
        } else if (kind == "socks" || kind == "socks5") {
            proxies.push_back("socks5h://" + where);
        } else if (kind == "socks4") {
            proxies.push_back("socks4a://" + where);
        }
    }
    return proxies;
}

std::size_t CollectPac(char* data, std::size_t size, std::size_t count, void* out) {
    auto* text = static_cast<std::string*>(out);
    if (text->size() + size * count > kMaxPacSize) {
        return 0;
    }
    text->append(data, size * count);
    return size * count;
}

// The PAC file at `url` (http, https or file), fetched directly: a proxy cannot be needed to learn the proxy.
std::optional<std::string> FetchPac(const std::string& url) {
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        return std::nullopt;
    }
    std::string script;
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(curl.get(), option, value);
        }
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https,file");
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_FAILONERROR, 1L);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, 5L);
    set(CURLOPT_TIMEOUT_MS, kPacFetchLimitMs);
    set(CURLOPT_WRITEFUNCTION, &CollectPac);
    set(CURLOPT_WRITEDATA, &script);
    if (rc != CURLE_OK || curl_easy_perform(curl.get()) != CURLE_OK) {
        return std::nullopt;
    }
    return script;
}

int QuietPacErrors(const char*, va_list) {
    return 0;
}

// Runs FindProxyForURL of `script`. pacparser keeps one global script engine: one run at a time.
std::optional<std::string> RunPac(const std::string& script, const std::string& url, const std::string& host) {
    static std::mutex engine;
    std::lock_guard lock(engine);
    pacparser_set_error_printer(&QuietPacErrors);
    if (!pacparser_init()) {
        return std::nullopt;
    }
    std::optional<std::string> answer;
    if (pacparser_parse_pac_string(script.c_str())) {
        // The answer belongs to the engine and lives until its cleanup.
        if (const char* found = pacparser_find_proxy(url.c_str(), host.c_str())) {
            answer = found;
        }
    }
    pacparser_cleanup();
    return answer;
}

// What the process has learnt so far: PAC files by URL (nullopt: could not be fetched), answers by PAC URL and
// scheme://host:port, and GNOME's setting, whose tool is a program run.
struct Memory {
    std::mutex mutex;
    std::map<std::string, std::optional<std::string>> scripts;
    std::map<std::string, ProxyResolver::Choice> answers;
    std::optional<std::map<std::string, std::string>> gnome;
};

// Automatic discovery (WPAD) by name, as Windows and libproxy do it: the host "wpad", which the resolver's search
// list completes with the machine's own domain, serves the PAC file at this fixed path. Discovery through DHCP is
// not done: no DHCP client tells a user program what it received.
constexpr const char* kWpadUrl = "http://wpad/wpad.dat";

Memory& TheMemory() {
    static Memory memory;
    return memory;
}

ProxyResolver::Choice AskPac(const std::string& pacUrl, const std::string& origin, const std::string& host,
                             const std::string& source) {
    const std::string from = "PAC file " + pacUrl + " (" + source + ")";
    std::optional<std::string> script;
    {
        Memory& memory = TheMemory();
        std::lock_guard lock(memory.mutex);
        if (const auto known = memory.scripts.find(pacUrl); known != memory.scripts.end()) {
            script = known->second;
        }
    }
    if (!script) {
        script = FetchPac(pacUrl);
        Memory& memory = TheMemory();
        std::lock_guard lock(memory.mutex);
        memory.scripts[pacUrl] = script;
    }
    if (!script) {
        return {"", from + " could not be read: direct"};
    }
    const std::optional<std::string> answer = RunPac(*script, origin + "/", host);
    if (!answer) {
        return {"", from + " gave no answer: direct"};
    }
    std::vector<std::string> proxies = ProxiesOf(*answer);
    if (proxies.empty()) {
        return {"", from + " named no usable proxy (\"" + *answer + "\"): direct"};
    }
    ProxyResolver::Choice choice{proxies.front(), from + " said \"" + *answer + "\""};
    choice.fallbacks.assign(proxies.begin() + 1, proxies.end());
    return choice;
}

// One PAC question on a thread of its own, so that a PAC file that hangs (a slow server, a script that waits
// for a name) holds up no transfer beyond the limit; the thread ends on its own and its late answer is dropped.
struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<ProxyResolver::Choice> choice;
};

ProxyResolver::Choice AskPacWithin(const std::string& pacUrl, const std::string& origin, const std::string& host,
                                   const std::string& source, const std::function<bool()>& stopped) {
    const std::string key = pacUrl + "|" + origin;
    {
        Memory& memory = TheMemory();
        std::lock_guard lock(memory.mutex);
        if (const auto known = memory.answers.find(key); known != memory.answers.end()) {
            return known->second;
        }
    }
    auto pending = std::make_shared<PendingAnswer>();
    try {
        std::thread([pending, pacUrl, origin, host, source] {
            ProxyResolver::Choice choice = AskPac(pacUrl, origin, host, source);
            std::lock_guard lock(pending->mutex);
            pending->choice = std::move(choice);
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return {"", "PAC file " + pacUrl + " (" + source + ") could not be run: direct"};
    }
    const auto deadline = std::chrono::steady_clock::now() + ProxyResolver::kDiscoveryLimit;
    std::unique_lock lock(pending->mutex);
    // In slices, so that a stop is seen while a PAC file is slow.
    while (!pending->choice && !stopped() && std::chrono::steady_clock::now() < deadline) {
        pending->done.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (!pending->choice && stopped()) {
        return {"", "stopped while the PAC file was read"};
    }
    ProxyResolver::Choice choice =
        pending->choice ? *pending->choice
                        : ProxyResolver::Choice{"", "PAC file " + pacUrl + " (" + source + ") gave no answer within " +
                                                        std::to_string(ProxyResolver::kDiscoveryLimit.count() / 1000) +
                                                        " s: direct"};
    lock.unlock();
    Memory& memory = TheMemory();
    std::lock_guard memoryLock(memory.mutex);
    memory.answers.emplace(key, choice);
    return choice;
}

} // namespace

ProxyResolver::Choice ProxyResolver::Resolve(const std::string& scheme, const std::string& host, std::uint16_t port,
                                             const std::string& pacUrl, const std::function<bool()>& stopped) {
    const std::string origin =
        scheme + "://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    if (!pacUrl.empty()) {
        return AskPacWithin(pacUrl, origin, host, "administrator's setting", stopped);
    }
    if (auto choice = FromEnvironment(scheme, host)) {
        return *choice;
    }
    std::optional<std::map<std::string, std::string>> gnome;
    {
        Memory& memory = TheMemory();
        std::lock_guard lock(memory.mutex);
        gnome = memory.gnome;
    }
    if (!gnome) {
        gnome = ReadGnomeSetting();
        Memory& memory = TheMemory();
        std::lock_guard lock(memory.mutex);
        memory.gnome = gnome;
    }
    const auto gnomeValue = [&gnome](const std::string& key) {
        const auto found = gnome->find("org.gnome.system.proxy" + key);
        return found == gnome->end() ? std::string() : found->second;
    };
    const std::string gnomeMode = gnomeValue(" mode");
    if (gnomeMode == "auto") {
        const std::string url = gnomeValue(" autoconfig-url");
        return url.empty() ? AskPacWithin(kWpadUrl, origin, host, "GNOME desktop setting, automatic discovery", stopped)
                           : AskPacWithin(url, origin, host, "GNOME desktop setting", stopped);
    }
    if (gnomeMode == "manual") {
        const std::string from = "GNOME desktop setting";
        if (Excluded(GnomeIgnoreList(gnomeValue(" ignore-hosts")), host)) {
            return {"", from + " (ignore-hosts names " + host + ")"};
        }
        const std::string kind = scheme == "https" ? ".https" : ".http";
        const std::string proxyHost = gnomeValue(kind + " host");
        const std::string proxyPort = gnomeValue(kind + " port");
        if (!proxyHost.empty() && proxyPort != "0") {
            return {"http://" + proxyHost + ":" + proxyPort, from};
        }
        const std::string socksHost = gnomeValue(".socks host");
        if (!socksHost.empty()) {
            return {"socks5h://" + socksHost + ":" + gnomeValue(".socks port"), from};
        }
    }
    const std::optional<DesktopSetting> desktop = ReadKdeSetting();
    if (desktop && desktop->type == 2 && !desktop->pacUrl.empty()) {
        return AskPacWithin(desktop->pacUrl, origin, host, "desktop setting in " + desktop->file, stopped);
    }
    if (desktop && desktop->type == 3) {
        return AskPacWithin(kWpadUrl, origin, host, "desktop setting in " + desktop->file + ", automatic discovery",
                            stopped);
    }
    if (desktop && desktop->type == 1) {
        const std::string& manual = scheme == "https" ? desktop->httpsProxy : desktop->httpProxy;
        const std::string from = "desktop setting in " + desktop->file;
        if (Excluded(desktop->noProxyFor, host)) {
            return {"", from + " (NoProxyFor names " + host + ")"};
        }
        if (!manual.empty()) {
            return {KdeProxy(manual), from};
        }
    }
    return {"", "no proxy is set"};
}

void ProxyResolver::ForgetAnswers() {
    Memory& memory = TheMemory();
    std::lock_guard lock(memory.mutex);
    memory.scripts.clear();
    memory.answers.clear();
    memory.gnome.reset();
}

} // namespace zarn
