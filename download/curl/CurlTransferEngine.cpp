#include "download/FileTransfer.h"
#include "download/SignInMemory.h"
#include "download/ThroughputFloor.h"
#include "download/TransferBody.h"
#include "download/TransferEngine.h"
#include "download/TransferErrors.h"
#include "download/curl/ConnectionCache.h"
#include "download/curl/ProxyResolver.h"
#include "platform/Socket.h"
#include "res/StringTable.h"
#include "text/AsciiText.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <openssl/x509.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

namespace {

constexpr long kMaxRedirects = 10;
// libcurl counts each time it sends a request again with credentials as a redirect too: its limit
// leaves room for those beside ours, and still ends a server that asks for ever.
constexpr long kMaxFollows = 2 * kMaxRedirects;
// libcurl's receive buffer: larger than its default, so a fast link costs fewer reads and callbacks.
constexpr long kReceiveBufferSize = 256 * 1024;
// Sign-in without a password box: Negotiate with the user's Kerberos ticket (GSS-API, empty credentials).
constexpr long kIntegratedSignIn = CURLAUTH_NEGOTIATE;
// With a user name and password, the strongest method the peer offers (libcurl ranks them).
constexpr long kPasswordSignIn = CURLAUTH_NTLM | CURLAUTH_DIGEST | CURLAUTH_BASIC;

struct CurlDeleter {
    void operator()(CURL* handle) const { ConnectionCache::ReturnHandle(handle); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
    void operator()(char* text) const { curl_free(text); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlDeleter>;
using CurlText = std::unique_ptr<char, CurlDeleter>;

bool GlobalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

// The object path as libcurl's URL parser accepts it: bytes it would refuse (blanks, controls,
// non-ASCII) are percent-encoded; everything else, "//" and ".." included, goes out as given.
std::string EncodedPath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    if (path.empty() || path[0] != '/') {
        out += '/';
    }
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string UrlOf(const TransferSettings& settings) {
    std::string host = settings.hostName;
    if (host.find(':') != std::string::npos && host.front() != '[') {
        host = "[" + host + "]";
    }
    return std::string(settings.secure ? "https://" : "http://") + host + ":" + std::to_string(settings.port) +
           EncodedPath(settings.objectPath);
}

// The host name in a proxy text, read as libcurl reads it ("http://proxy:3128", "proxy:3128" and
// "user:pw@proxy" all name "proxy"); empty when the text names no host.
std::string ProxyHostName(const std::string& proxy) {
    CurlUrl url(curl_url());
    char* host = nullptr;
    if (!url ||
        curl_url_set(url.get(), CURLUPART_URL, proxy.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME) !=
            CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return {};
    }
    const CurlText hostText(host);
    return host;
}

// The number WinInet gives the failure that libcurl reports as `rc` on `curl` (see TransferErrors.h).
unsigned long WinInetNumber(CURLcode rc, CURL* curl) {
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return transfer_error::kTimeout;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return transfer_error::kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return transfer_error::kCannotConnect;
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return transfer_error::kConnectionAborted;
    // Nothing came back, or nothing that is HTTP/1.x (libcurl refuses an HTTP/0.9 answer as a protocol).
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return transfer_error::kInvalidServerResponse;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
        return transfer_error::kSecurityChannelError;
    // The certificate authority file given cannot be used: the server's authority cannot be trusted either.
    case CURLE_SSL_CACERT_BADFILE:
        return transfer_error::kInvalidCa;
    case CURLE_PEER_FAILED_VERIFICATION:
        break;
    default:
        return transfer_error::kInternalError;
    }
    // libcurl has one code for every refused certificate; OpenSSL's verdict on the chain tells them apart.
    // libcurl checks the host name itself before it takes that verdict, which then still reads "unspecified".
    long verdict = X509_V_OK;
    curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verdict);
    switch (verdict) {
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return transfer_error::kCertNameInvalid;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return transfer_error::kCertDateInvalid;
    case X509_V_ERR_CERT_REVOKED:
        return transfer_error::kCertRevoked;
    default:
        return transfer_error::kInvalidCa;
    }
}

// One run of the engine: the libcurl handle, the callbacks' state and the figures of the body.
//
// The status lines come from hooks whose order libcurl guarantees, never from its debug texts:
// 204 before the transfer starts (and after a redirect to another host); 205 and 206 in the
// open-socket hook, which libcurl calls with the resolved address just before connecting; 203 in
// the pre-request hook, which runs once the connection (TLS included) stands; 207 when the headers
// of a redirect are complete. The body is written only after the headers of a 200 or 206 answer;
// the bodies of challenges and redirects are read and dropped.
class Transfer {
public:
    Transfer(const TransferSettings& settings, TransferBody& body, TransferSink& sink)
        : m_settings(settings), m_sink(sink), m_body(body) {}

    // One attempt: the request (ranged as the body says) and its answer into the body.
    TransferBody::Outcome Run();

private:
    enum class Phase { Connecting, Requesting, Body };
    using Outcome = TransferBody::Outcome;

    bool StopRequested() const { return m_body.StopRequested(); }
    void Fail(StringId id, unsigned long code) { m_body.Fail(id, code); }
    bool Prepare();
    bool Configure();
    bool SignInAgain(long status);
    void UseProxy(const std::string& proxy);
    bool NextProxy(CURLcode rc);
    bool TcpConnected() const;
    Outcome Perform();
    bool Authenticate(long status);
    bool SetCredentials(bool proxy, const std::string& user, const std::string& password);

    void OnHeaderLine(const char* line, std::size_t length);
    bool OnHeadersComplete();
    bool OnRedirect();
    bool Idle();

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* self);
    static int ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static curl_socket_t OpenSocketCallback(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int PrereqCallback(void* self, char* primaryIp, char*, int, int);

    const TransferSettings& m_settings;
    TransferSink& m_sink;
    TransferBody& m_body;

    CurlList m_headers; // before the handle, which uses it until its own cleanup
    CurlHandle m_curl;
    std::string m_url;
    std::string m_agent;
    std::string m_range;
    std::string m_ifRange;                        // the header line
    std::string m_ifNoneMatch, m_ifModifiedSince; // the header lines
    std::string m_siteHost;                       // the web server the request is at now (redirects move it)
    std::string m_proxy;                          // the proxy as libcurl takes it; empty: direct
    std::string m_proxyName;                      // the proxy's host name; empty without one
    std::vector<std::string> m_proxyFallbacks;    // the PAC answer's entries not tried yet ("": direct)

    // Site and proxy credentials: stored ones are used once, then the user is asked (if allowed).
    std::string m_siteUser, m_sitePassword, m_proxyUser, m_proxyPassword;

    Phase m_phase = Phase::Connecting;
    bool m_resolvePending = false;
    bool m_connectPending = false;
    long m_connectsAtSocket = 0; // libcurl's count of connections made, when the last socket opened
    bool m_stopped = false;      // a hook of this class saw the stop request
    std::chrono::steady_clock::time_point m_lastActivity;
    // Counts every byte of the answers (headers and bodies) from the moment each request has gone out.
    ThroughputFloor m_floor{m_settings.floorWindow, m_settings.floorBytes};
    int m_redirects = 0; // in this round
    int m_rounds = 0;    // Perform calls so far

    // The response whose headers are being read.
    long m_status = 0;
    bool m_statusSeen = false;
    std::string m_location;
    std::string m_retryAfter;
    TransferBody::Answer m_answer;

    // The body is written only once a 200 or 206 answer's headers are complete.
    bool m_bodyStarted = false;
};

Transfer::Outcome Transfer::Run() {
    m_agent = m_settings.agentName.empty() ? LoadString(AFX_IDS_APP_TITLE) : m_settings.agentName;
    if (m_settings.accessMode < 0 || m_settings.accessMode > 2) {
        Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInvalidParameter);
        return Outcome::Failed;
    }
    if (!GlobalInit()) {
        Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInternalError);
        return Outcome::Failed;
    }
    m_curl.reset(ConnectionCache::TakeHandle());
    if (!m_curl) {
        Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInternalError);
        return Outcome::Failed;
    }
    if (StopRequested()) {
        return Outcome::Stopped;
    }
    if (!Prepare() || !Configure()) {
        return Outcome::Failed;
    }
    m_sink.StartAnimation();

    m_siteHost = m_settings.hostName;
    m_sink.ShowStatusText(FormatString(IDS_RESOLVING_NAME, m_proxyName.empty() ? m_siteHost : m_proxyName));
    m_resolvePending = true;
    for (;;) {
        const Outcome outcome = Perform();
        if (outcome != Outcome::Done) {
            return outcome;
        }
        long status = 0;
        curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status == 200 || status == 206 || ((status == 416 || status == 304) && m_bodyStarted)) {
            break;
        }
        if (status != 401 && status != 407) {
            if (status == 0) {
                Fail(IDS_NO_RESPONSE, transfer_error::kInvalidServerResponse);
            } else {
                Fail(IDS_BAD_STATUS, static_cast<unsigned long>(status));
            }
            return Outcome::Failed;
        }
        if (!SignInAgain(status)) {
            return StopRequested() ? Outcome::Stopped : Outcome::Failed;
        }
    }

    // libcurl itself fails a body shorter than its length; the check here holds for every engine.
    if (!m_body.End(transfer_error::kConnectionAborted)) {
        return Outcome::Failed;
    }
    return StopRequested() ? Outcome::Stopped : Outcome::Done;
}

// What the request is and which proxy it goes through: worked out once per attempt.
bool Transfer::Prepare() {
    m_url = UrlOf(m_settings);
    if (!m_body.IfRange().empty()) {
        m_ifRange = "If-Range: " + m_body.IfRange();
    }
    if (m_body.Conditional() && !m_settings.ifNoneMatch.empty()) {
        m_ifNoneMatch = "If-None-Match: " + m_settings.ifNoneMatch;
    }
    if (m_body.Conditional() && !m_settings.ifModifiedSince.empty()) {
        m_ifModifiedSince = "If-Modified-Since: " + m_settings.ifModifiedSince;
    }
    const char* const headers[] = {"Accept: */*",
                                   "Cache-Control: no-cache",
                                   "Pragma: no-cache",
                                   "Connection: keep-alive",
                                   m_ifRange.empty() ? nullptr : m_ifRange.c_str(),
                                   m_ifNoneMatch.empty() ? nullptr : m_ifNoneMatch.c_str(),
                                   m_ifModifiedSince.empty() ? nullptr : m_ifModifiedSince.c_str()};
    for (const char* header : headers) {
        if (!header) {
            continue;
        }
        curl_slist* list = curl_slist_append(m_headers.get(), header);
        if (!list) {
            Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInternalError);
            return false;
        }
        m_headers.release();
        m_headers.reset(list);
    }
    // Mode 0 follows the system's settings; the proxy is always named to libcurl, so that the one the log
    // names is the one used (libcurl would otherwise read the environment again on its own).
    if (m_settings.accessMode == 0) {
        const ProxyResolver::Choice choice =
            ProxyResolver::Resolve(m_settings.secure ? "https" : "http", m_settings.hostName, m_settings.port,
                                   m_settings.proxyPacUrl, [this] { return StopRequested(); });
        UseProxy(choice.proxy);
        m_proxyFallbacks = choice.fallbacks;
        m_sink.NoteAttempt(m_proxy.empty() ? "direct connection: " + choice.reason
                                           : "through proxy " + m_proxy + ": " + choice.reason);
    } else {
        UseProxy(m_settings.accessMode == 2 ? m_settings.proxyHost : std::string());
    }
    m_siteUser = m_settings.siteLogin;
    m_sitePassword = m_settings.sitePwd;
    if (m_siteUser.empty()) {
        SignInMemory::Instance().Recall(false, m_settings.hostName, m_siteUser, m_sitePassword);
    }
    return true;
}

// Credentials: the stored ones, else those the user gave earlier in this run for the same host, else the system's
// own (Kerberos); libcurl answers a challenge with them within one request.
void Transfer::UseProxy(const std::string& proxy) {
    m_proxy = proxy;
    m_proxyName = proxy.empty() ? std::string() : ProxyHostName(proxy);
    m_proxyUser = m_settings.proxyLogin;
    m_proxyPassword = m_settings.proxyPwd;
    if (m_proxyUser.empty() && !m_proxyName.empty()) {
        SignInMemory::Instance().Recall(true, m_proxyName, m_proxyUser, m_proxyPassword);
    }
}

// After a failure to reach the proxy at all, moves on to the PAC answer's next entry, as browsers go down the list.
// False when there is none left, or when the proxy was reached (its own failures stand).
bool Transfer::NextProxy(CURLcode rc) {
    const bool unreachable =
        rc == CURLE_COULDNT_RESOLVE_PROXY || rc == CURLE_COULDNT_CONNECT || rc == CURLE_OPERATION_TIMEDOUT;
    if (m_proxy.empty() || m_proxyFallbacks.empty() || !unreachable || TcpConnected() || StopRequested()) {
        return false;
    }
    const std::string given = m_proxy;
    UseProxy(m_proxyFallbacks.front());
    m_proxyFallbacks.erase(m_proxyFallbacks.begin());
    m_sink.NoteAttempt("proxy " + given + " could not be reached; the PAC answer's next entry: " +
                       (m_proxy.empty() ? "direct connection" : "through proxy " + m_proxy));
    return true;
}

// Sets every option of the handle; runs again on a handle that was reset.
bool Transfer::Configure() {
    CURL* curl = m_curl.get();
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(curl, option, value);
        }
    };
    set(CURLOPT_URL, m_url.c_str());
    // Successive downloads reuse the connection and TLS session to a server; a transfer that failed
    // or was stopped mid-body leaves no connection behind, as libcurl closes what it aborted.
    set(CURLOPT_SHARE, ConnectionCache::Share());
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxFollows);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_USERAGENT, m_agent.c_str());
    set(CURLOPT_HTTPHEADER, m_headers.get());
    // The request's own headers are not told to the proxy; the proxy's answers are not the server's.
    set(CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_settings.caFile.empty()) {
        set(CURLOPT_CAINFO, m_settings.caFile.c_str());
    }
    if (m_body.RangeStart() > 0) {
        m_range = std::to_string(m_body.RangeStart()) + "-";
        set(CURLOPT_RANGE, m_range.c_str());
    }
    set(CURLOPT_PROXY, m_proxy.c_str());
    set(CURLOPT_NOPROXY, "");
    if (rc != CURLE_OK) {
        Fail(IDS_DOWNLOAD_FAILED, WinInetNumber(rc, curl));
        return false;
    }
    if (!SetCredentials(false, m_siteUser, m_sitePassword) || !SetCredentials(true, m_proxyUser, m_proxyPassword)) {
        return false;
    }
    // The connect phase ends once TLS (and a proxy's tunnel) stand. A TCP connection not made within
    // the silence limit fails like a refused one; one that is made but then stays silent is silence.
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_settings.silenceLimit.count()));

    set(CURLOPT_HEADERFUNCTION, &Transfer::HeaderCallback);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &Transfer::WriteCallback);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &Transfer::ProgressCallback);
    set(CURLOPT_XFERINFODATA, this);
    set(CURLOPT_OPENSOCKETFUNCTION, &Transfer::OpenSocketCallback);
    set(CURLOPT_OPENSOCKETDATA, this);
    set(CURLOPT_PREREQFUNCTION, &Transfer::PrereqCallback);
    set(CURLOPT_PREREQDATA, this);
    if (rc != CURLE_OK) {
        Fail(IDS_DOWNLOAD_FAILED, WinInetNumber(rc, curl));
        return false;
    }
    return true;
}

Transfer::Outcome Transfer::Perform() {
    if (StopRequested()) {
        return Outcome::Stopped;
    }
    m_lastActivity = std::chrono::steady_clock::now();
    m_phase = Phase::Connecting;
    m_statusSeen = false;
    // A round after a challenge goes again to the URL that asked, wherever redirects had led: the
    // answer is meant for that host, and libcurl sends credentials to the host a round starts at only.
    if (m_rounds++ > 0) {
        char* answered = nullptr;
        curl_easy_getinfo(m_curl.get(), CURLINFO_EFFECTIVE_URL, &answered);
        if (answered) {
            m_url = answered;
            const CURLcode rc = curl_easy_setopt(m_curl.get(), CURLOPT_URL, m_url.c_str());
            if (rc != CURLE_OK) {
                Fail(IDS_DOWNLOAD_FAILED, WinInetNumber(rc, m_curl.get()));
                return Outcome::Failed;
            }
        }
    }
    // Redirects count per round, as libcurl counts them for each perform.
    m_redirects = 0;
    const CURLcode rc = curl_easy_perform(m_curl.get());
    if (m_stopped || m_body.Stopped()) {
        return Outcome::Stopped;
    }
    if (m_body.Failed()) {
        return Outcome::Failed;
    }
    if (rc == CURLE_OK) {
        return Outcome::Done;
    }
    long connectStatus = 0;
    curl_easy_getinfo(m_curl.get(), CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    if (connectStatus == 407) {
        // The proxy refused the tunnel for an https request: the same challenge as a plain 407.
        return SignInAgain(407) ? Perform() : (StopRequested() ? Outcome::Stopped : Outcome::Failed);
    }
    if (NextProxy(rc)) {
        return Configure() ? Perform() : Outcome::Failed;
    }
    // The message says where it broke: before a connection (211), before a status line (212, but a
    // request that could not be sent is 211), or after it (214).
    if (rc == CURLE_TOO_MANY_REDIRECTS) {
        long status = 0;
        curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &status);
        Fail(IDS_BAD_STATUS, static_cast<unsigned long>(status));
    } else if (m_phase == Phase::Body || (m_phase == Phase::Requesting && m_statusSeen)) {
        Fail(IDS_TRANSFER_FAILED, WinInetNumber(rc, m_curl.get()));
    } else if (m_phase == Phase::Requesting && rc != CURLE_SEND_ERROR) {
        Fail(IDS_NO_RESPONSE, WinInetNumber(rc, m_curl.get()));
    } else if (rc == CURLE_OPERATION_TIMEDOUT && TcpConnected()) {
        Fail(IDS_TRANSFER_FAILED, transfer_error::kTimeout); // a silent TLS handshake or proxy tunnel
    } else {
        Fail(IDS_CONNECT_FAILED, WinInetNumber(rc, m_curl.get()));
    }
    return Outcome::Failed;
}

// libcurl counts a connection as made once TCP stands, before TLS or a proxy's tunnel.
bool Transfer::TcpConnected() const {
    long connects = 0;
    curl_easy_getinfo(m_curl.get(), CURLINFO_NUM_CONNECTS, &connects);
    return connects > m_connectsAtSocket;
}

bool Transfer::Authenticate(long status) {
    const bool proxy = status == 407;
    std::string& user = proxy ? m_proxyUser : m_siteUser;
    std::string& password = proxy ? m_proxyPassword : m_sitePassword;
    const bool ask = proxy ? m_settings.askProxyLogin : m_settings.askSiteLogin;
    // Stored credentials were already sent with this request; getting the challenge again means they
    // were refused, so only the user can help now. Without asking, the challenge is the final answer.
    if (!ask) {
        Fail(IDS_BAD_STATUS, static_cast<unsigned long>(status));
        return false;
    }
    if (StopRequested()) {
        return false;
    }
    const std::string& host = proxy && !m_proxyName.empty() ? m_proxyName : m_siteHost;
    SignInMemory& memory = SignInMemory::Instance();
    std::string newUser;
    std::string newPassword;
    // Another transfer may have asked about this host meanwhile; its answer is tried before anyone is asked.
    const auto recalled = [&] {
        if (!memory.Recall(proxy, host, newUser, newPassword) || (newUser == user && newPassword == password)) {
            return false;
        }
        user = std::move(newUser);
        password = std::move(newPassword);
        return true;
    };
    if (recalled()) {
        return SetCredentials(proxy, user, password);
    }
    // One prompt per host and none after a refusal: credentials refused again end the transfer, not the user's day.
    // A prompt another transfer has open about this host is waited for, and its answer tried instead.
    if (!m_sink.ReadyToAsk() || !memory.TakePrompt(proxy, host, [this] { return StopRequested(); })) {
        if (recalled()) {
            return SetCredentials(proxy, user, password);
        }
        if (!StopRequested()) {
            Fail(IDS_BAD_STATUS, static_cast<unsigned long>(status));
        }
        return false;
    }
    newUser = user;
    const bool given = m_sink.AskCredentials(proxy, host, newUser, newPassword) && !StopRequested();
    memory.NoteAnswer(proxy, host, given, newUser, newPassword);
    if (!given) {
        if (!StopRequested()) {
            Fail(IDS_BAD_STATUS, static_cast<unsigned long>(status));
        }
        return false;
    }
    user = std::move(newUser);
    password = std::move(newPassword);
    return SetCredentials(proxy, user, password);
}

// After a challenge: asks for credentials (or takes those given meanwhile) and readies the handle for the next
// round. libcurl keeps what it learnt of a Digest challenge for the handle's life and refuses a fresh one
// beside it, so the handle starts over with every option set again.
bool Transfer::SignInAgain(long status) {
    if (!Authenticate(status)) {
        return false;
    }
    char* answered = nullptr;
    curl_easy_getinfo(m_curl.get(), CURLINFO_EFFECTIVE_URL, &answered);
    if (answered) {
        m_url = answered;
    }
    curl_easy_reset(m_curl.get());
    return Configure();
}

// Empty credentials leave the sign-in to the system (Negotiate with the user's ticket), which then needs none.
bool Transfer::SetCredentials(bool proxy, const std::string& user, const std::string& password) {
    CURL* curl = m_curl.get();
    CURLcode rc = CURLE_OK;
    if (user.empty()) {
        rc = curl_easy_setopt(curl, proxy ? CURLOPT_PROXYUSERPWD : CURLOPT_USERPWD, ":");
    } else {
        rc = curl_easy_setopt(curl, proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, user.c_str());
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(curl, proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, password.c_str());
        }
    }
    if (rc == CURLE_OK) {
        rc = curl_easy_setopt(curl, proxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH,
                              user.empty() ? kIntegratedSignIn : kPasswordSignIn);
    }
    if (rc != CURLE_OK) {
        Fail(IDS_DOWNLOAD_FAILED, WinInetNumber(rc, curl));
        return false;
    }
    return true;
}

void Transfer::OnHeaderLine(const char* line, std::size_t length) {
    if (m_bodyStarted) {
        return;
    }
    const std::string_view header(line, length);
    if (StartsWithIgnoreCaseAscii(header, "HTTP/")) {
        // A new response begins (an interim one, a challenge, a redirect or the final one).
        const std::string text(header);
        const std::size_t blank = text.find(' ');
        m_status = blank == std::string::npos ? 0 : std::strtol(text.c_str() + blank + 1, nullptr, 10);
        m_statusSeen = true;
        m_location.clear();
        m_retryAfter.clear();
        m_answer = TransferBody::Answer();
    } else if (StartsWithIgnoreCaseAscii(header, "Location:")) {
        m_location = TrimWhiteSpace(header.substr(9));
    } else if (StartsWithIgnoreCaseAscii(header, "Retry-After:")) {
        m_retryAfter = TrimWhiteSpace(header.substr(12));
    } else if (StartsWithIgnoreCaseAscii(header, "Content-Range:")) {
        m_answer.contentRange = TrimWhiteSpace(header.substr(14));
    } else if (StartsWithIgnoreCaseAscii(header, "ETag:")) {
        m_answer.etag = TrimWhiteSpace(header.substr(5));
    } else if (StartsWithIgnoreCaseAscii(header, "Last-Modified:")) {
        m_answer.lastModified = TrimWhiteSpace(header.substr(14));
    } else if (StartsWithIgnoreCaseAscii(header, "Content-Length:")) {
        const std::string value(TrimWhiteSpace(header.substr(15)));
        char* end = nullptr;
        errno = 0;
        const unsigned long long parsed = std::strtoull(value.c_str(), &end, 10);
        if (!value.empty() && value[0] != '-' && errno == 0 && end && *end == '\0') {
            m_answer.contentLength = parsed;
        }
    }
}

bool Transfer::OnHeadersComplete() {
    // Once the body runs, a header block can only be the trailer of a chunked body.
    if (m_bodyStarted) {
        return true;
    }
    if (m_status >= 100 && m_status < 200) {
        return true;
    }
    // A 416 can only answer a range, which the body may find already whole; a 304 a conditional request.
    if (m_status == 200 || m_status == 206 || (m_status == 416 && m_body.RangeStart() > 0) ||
        (m_status == 304 && m_body.Conditional())) {
        m_phase = Phase::Body;
        m_bodyStarted = m_body.Start(static_cast<int>(m_status), m_answer);
        return m_bodyStarted;
    }
    if (m_status == 401 || m_status == 407) {
        return true; // the challenge's body is read away; Run decides what comes next
    }
    if (m_status >= 300 && m_status < 400 && m_status != 304 && !m_location.empty()) {
        return OnRedirect();
    }
    m_body.Refuse(static_cast<unsigned long>(m_status), m_retryAfter);
    return false;
}

bool Transfer::OnRedirect() {
    CurlUrl url(curl_url());
    char* current = nullptr;
    curl_easy_getinfo(m_curl.get(), CURLINFO_EFFECTIVE_URL, &current);
    if (!url || !current || curl_url_set(url.get(), CURLUPART_URL, current, 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, m_location.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        Fail(IDS_CONNECT_FAILED, transfer_error::kUnrecognizedScheme);
        return false;
    }
    char* scheme = nullptr;
    char* target = nullptr;
    char* host = nullptr;
    curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(url.get(), CURLUPART_URL, &target, 0);
    curl_url_get(url.get(), CURLUPART_HOST, &host, 0);
    const CurlText schemeText(scheme), targetText(target), hostText(host);
    if (!scheme || !target || !host) {
        Fail(IDS_CONNECT_FAILED, transfer_error::kUnrecognizedScheme);
        return false;
    }
    // Refused here rather than by libcurl, so that the failure has the number it has on Windows.
    if (std::strcmp(scheme, "http") != 0 && std::strcmp(scheme, "https") != 0) {
        Fail(IDS_CONNECT_FAILED, transfer_error::kUnrecognizedScheme);
        return false;
    }
    // A secure download never continues in the clear, whatever the server says.
    if (std::strncmp(current, "https:", 6) == 0 && std::strcmp(scheme, "http") == 0) {
        Fail(IDS_CONNECT_FAILED, transfer_error::kHttpsToHttpRedirect);
        return false;
    }
    // The limit is ours, not libcurl's, so that no redirect is ever followed without the check above.
    if (m_redirects >= kMaxRedirects) {
        Fail(IDS_BAD_STATUS, static_cast<unsigned long>(m_status));
        return false;
    }
    ++m_redirects;
    m_sink.ShowStatusText(FormatString(IDS_REDIRECTING, target));
    // Through a named proxy the connection stays with the proxy; only the server changes.
    const bool newHost = m_siteHost != host;
    m_siteHost = host;
    if (m_proxyName.empty() && newHost) {
        m_sink.ShowStatusText(FormatString(IDS_RESOLVING_NAME, m_siteHost));
        m_resolvePending = true;
    }
    return true;
}

bool Transfer::Idle() {
    if (StopRequested()) {
        m_stopped = true;
        return false;
    }
    // While connecting, the connect time-out watches (see Perform); after that, silence and the floor are
    // measured here. A server that sends a byte now and then is never silent, but stays under the floor.
    const auto now = std::chrono::steady_clock::now();
    if (m_phase != Phase::Connecting && (now - m_lastActivity > m_settings.silenceLimit || m_floor.Starved(now))) {
        Fail(IDS_TRANSFER_FAILED, transfer_error::kTimeout);
        return false;
    }
    // Pieces wait in the target's block; a body that pauses still reaches the disk.
    return m_body.FlushIfDue();
}

std::size_t Transfer::HeaderCallback(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t length = size * count;
    transfer->m_lastActivity = std::chrono::steady_clock::now();
    transfer->m_floor.Add(length, transfer->m_lastActivity);
    if (length == 2 && data[0] == '\r' && data[1] == '\n') {
        return transfer->OnHeadersComplete() ? length : 0;
    }
    if (length == 1 && data[0] == '\n') {
        return transfer->OnHeadersComplete() ? length : 0;
    }
    transfer->OnHeaderLine(data, length);
    return length;
}

std::size_t Transfer::WriteCallback(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t length = size * count;
    transfer->m_floor.Add(length, std::chrono::steady_clock::now());
    if (!transfer->m_bodyStarted) {
        transfer->m_lastActivity = std::chrono::steady_clock::now();
        return length; // the body of a challenge or a redirect
    }
    if (!transfer->m_body.Write(data, length)) {
        return 0;
    }
    transfer->m_lastActivity = std::chrono::steady_clock::now();
    return length;
}

int Transfer::ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(self)->Idle() ? 0 : 1;
}

curl_socket_t Transfer::OpenSocketCallback(void* self, curlsocktype, curl_sockaddr* address) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::string ip = platform::NumericAddress(&address->addr);
    if (transfer->m_resolvePending) {
        transfer->m_sink.ShowStatusText(FormatString(IDS_NAME_RESOLVED, ip));
        transfer->m_resolvePending = false;
    }
    transfer->m_sink.ShowStatusText(FormatString(IDS_CONNECTING, ip));
    transfer->m_phase = Phase::Connecting;
    transfer->m_connectPending = true;
    curl_easy_getinfo(transfer->m_curl.get(), CURLINFO_NUM_CONNECTS, &transfer->m_connectsAtSocket);
    const std::intptr_t socket = platform::CreateSocket(address->family, address->socktype, address->protocol);
    return socket < 0 ? CURL_SOCKET_BAD : static_cast<curl_socket_t>(socket);
}

int Transfer::PrereqCallback(void* self, char* primaryIp, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(self);
    if (transfer->m_connectPending) {
        transfer->m_sink.ShowStatusText(FormatString(IDS_CONNECTED, primaryIp ? primaryIp : ""));
        transfer->m_connectPending = false;
    }
    transfer->m_phase = Phase::Requesting;
    transfer->m_statusSeen = false;
    transfer->m_lastActivity = std::chrono::steady_clock::now();
    transfer->m_floor.Restart(transfer->m_lastActivity);
    if (transfer->StopRequested()) {
        transfer->m_stopped = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

} // namespace

void TransferEngine::Run() {
    TransferBody body(m_settings, m_target, m_sink, m_stopRequested);
    body.Run([&](const TransferSettings& source) {
        return source.localFile ? FileTransfer(source, body, m_sink).Run() : Transfer(source, body, m_sink).Run();
    });
}

void TransferEngine::AllowConnectionsPerServer(int) {
    // Nothing to allow: each transfer's easy handle opens its own connection (ConnectionCache), and libcurl sets
    // no limit across handles.
}

void TransferEngine::CloseIdleConnections() {
    ConnectionCache::CloseIdle();
}

} // namespace zarn
