#include "download/TransferEngine.h"
#include "platform/win32/WindowsHeaders.h"
// <windows.h> defines LoadString to its "A" form: undone before the string table declares its own.
#undef LoadString
#include "download/FileTransfer.h"
#include "download/SignInMemory.h"
#include "download/ThroughputFloor.h"
#include "download/TransferBody.h"
#include "download/TransferErrors.h"
#include "res/StringTable.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <wininet.h>

namespace zarn {

namespace {

constexpr DWORD kPieceSize = 1024;
// The body of an authentication challenge is read away in pieces of this size.
constexpr DWORD kChallengePiece = 50;
// The worker waits for WinInet in slices of this length, so that a stop or silence ends a transfer at once.
constexpr DWORD kWaitSliceMs = 50;
constexpr int kMaxRedirects = 10;
// Redirects are followed here, not by WinInet, which follows them without end and from https to http.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT;

using Clock = std::chrono::steady_clock;

// The numbers both engines report are WinInet's own.
static_assert(transfer_error::kInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(transfer_error::kTimeout == ERROR_INTERNET_TIMEOUT);
static_assert(transfer_error::kInternalError == ERROR_INTERNET_INTERNAL_ERROR);
static_assert(transfer_error::kUnrecognizedScheme == ERROR_INTERNET_UNRECOGNIZED_SCHEME);
static_assert(transfer_error::kNameNotResolved == ERROR_INTERNET_NAME_NOT_RESOLVED);
static_assert(transfer_error::kCannotConnect == ERROR_INTERNET_CANNOT_CONNECT);
static_assert(transfer_error::kConnectionAborted == ERROR_INTERNET_CONNECTION_ABORTED);
static_assert(transfer_error::kConnectionReset == ERROR_INTERNET_CONNECTION_RESET);
static_assert(transfer_error::kCertDateInvalid == ERROR_INTERNET_SEC_CERT_DATE_INVALID);
static_assert(transfer_error::kCertNameInvalid == ERROR_INTERNET_SEC_CERT_CN_INVALID);
static_assert(transfer_error::kHttpsToHttpRedirect == ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
static_assert(transfer_error::kInvalidCa == ERROR_INTERNET_INVALID_CA);
static_assert(transfer_error::kInvalidServerResponse == ERROR_HTTP_INVALID_SERVER_RESPONSE);
static_assert(transfer_error::kSecurityChannelError == ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
static_assert(transfer_error::kCertRevoked == ERROR_INTERNET_SEC_CERT_REVOKED);

// What WinInet's status callback shares with the worker. The callback runs on WinInet's own threads as
// well as on the worker's, so it only queues and signals; the worker shows the lines on its own thread.
// The buffer and count that an asynchronous read fills live here too: a read that is still pending when
// the transfer ends may complete into them later.
//
// It belongs to the worker and to each open handle that carries it. WinInet says last that it closed a
// handle; a call still blocked inside it (a silent socket) holds the handle until the call returns,
// which can be long after the transfer ended. So the state is freed by whoever lets go of it last.
struct CallbackState {
    CallbackState() : completed(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CallbackState() {
        if (completed) {
            ::CloseHandle(completed);
        }
    }
    CallbackState(const CallbackState&) = delete;
    CallbackState& operator=(const CallbackState&) = delete;

    // Drops one owner's hold; the last one frees the state.
    void Release() {
        if (--owners == 0) {
            delete this;
        }
    }

    void Touch() { lastActivity.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed); }
    Clock::time_point LastActivity() const {
        return Clock::time_point(Clock::duration(lastActivity.load(std::memory_order_relaxed)));
    }

    HANDLE completed; // an asynchronous call has completed
    std::atomic<int> owners{1};
    std::atomic<bool> connected{false};
    std::atomic<unsigned> requestsSent{0}; // requests WinInet has sent so far
    std::atomic<Clock::rep> lastActivity{0};

    std::mutex mutex; // guards what follows
    std::deque<std::string> lines;
    std::string resolved; // the address of the last name resolved
    bool done = false;
    DWORD result = 0;
    DWORD error = 0;

    char buffer[kPieceSize] = {};
    DWORD bytesRead = 0;
};

std::string InfoText(LPVOID info, DWORD length) {
    const char* text = static_cast<const char*>(info);
    return text ? std::string(text, ::strnlen(text, length)) : std::string();
}

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    auto* state = reinterpret_cast<CallbackState*>(context);
    if (!state) {
        return;
    }
    state->Touch();
    StringId line{};
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
        line = IDS_RESOLVING_NAME;
        break;
    case INTERNET_STATUS_NAME_RESOLVED:
        line = IDS_NAME_RESOLVED;
        break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        line = IDS_CONNECTING;
        break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        line = IDS_CONNECTED;
        state->connected = true;
        break;
    case INTERNET_STATUS_REDIRECT:
        line = IDS_REDIRECTING;
        break;
    case INTERNET_STATUS_REQUEST_SENT:
        // Also over a kept connection, for which WinInet reports no connecting.
        state->connected = true;
        ++state->requestsSent;
        return;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->result = result ? static_cast<DWORD>(result->dwResult) : FALSE;
        state->error = result ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR;
        ::SetEvent(state->completed);
        return;
    }
    case INTERNET_STATUS_HANDLE_CLOSING:
        state->Release();
        return;
    default:
        return;
    }
    std::string text = InfoText(info, length);
    std::lock_guard lock(state->mutex);
    if (line == IDS_NAME_RESOLVED) {
        state->resolved = text;
    } else if (text.empty() && (line == IDS_CONNECTING || line == IDS_CONNECTED)) {
        // Through a proxy WinInet may name no address here; it is the one just resolved.
        text = state->resolved;
    }
    state->lines.push_back(FormatString(line, text));
}

// The three handles of a transfer. Closing them cancels what is pending without waiting for it.
struct Handles {
    Handles() = default;
    ~Handles() {
        for (HINTERNET handle : {request, connect, internet}) {
            if (handle) {
                ::InternetCloseHandle(handle);
            }
        }
        state->Release();
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    CallbackState* state = new CallbackState;
    HINTERNET internet = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
};

// The log's line for a handle opened with the system's settings: the proxy WinInet took from them. A PAC file or
// automatic discovery there is WinInet's to run per request, and does not show in the handle.
std::string SystemProxyNote(HINTERNET internet) {
    DWORD size = 0;
    ::InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, nullptr, &size);
    std::string buffer(size, '\0');
    if (size < sizeof(INTERNET_PROXY_INFO) ||
        !::InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer.data(), &size)) {
        return "the system's settings (WinInet): their proxy could not be read";
    }
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (info->dwAccessType == INTERNET_OPEN_TYPE_PROXY && info->lpszProxy) {
        std::string note = std::string("through proxy ") + reinterpret_cast<const char*>(info->lpszProxy) +
                           ": the system's settings (WinInet)";
        if (info->lpszProxyBypass && *info->lpszProxyBypass) {
            note += std::string(", except for ") + reinterpret_cast<const char*>(info->lpszProxyBypass);
        }
        return note;
    }
    return "direct connection: the system's settings (WinInet) name no proxy, unless a PAC file or automatic "
           "discovery there does";
}

// Gives this session alone the PAC file `pacUrl` (the administrator's) in place of the system's proxy settings;
// the note says whether WinInet took it.
std::string UsePacFile(HINTERNET internet, const std::string& pacUrl) {
    std::string url = pacUrl;
    INTERNET_PER_CONN_OPTIONA options[2] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[0].Value.dwValue = PROXY_TYPE_AUTO_PROXY_URL | PROXY_TYPE_DIRECT;
    options[1].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    options[1].Value.pszValue = url.data();
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 2;
    list.pOptions = options;
    if (!::InternetSetOptionA(internet, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof list)) {
        return "the system's settings (WinInet): it refused the PAC file " + pacUrl + ", error " +
               std::to_string(::GetLastError());
    }
    return "the PAC file " + pacUrl + " (WinInet decides each request's proxy from it)";
}

// Where a request goes: the parts of an http or https URL.
struct Target {
    std::string host;
    INTERNET_PORT port = 0;
    std::string path; // with the query
    bool secure = false;
};

// The parts of an absolute URL; none when it cannot be split or is neither http nor https.
std::optional<Target> CrackUrl(const std::string& url) {
    std::string host(INTERNET_MAX_HOST_NAME_LENGTH + 1, '\0');
    std::string path(url.size() + 1, '\0');
    std::string extra(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!::InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return std::nullopt;
    }
    Target target;
    target.host.assign(host.c_str(), parts.dwHostNameLength);
    target.port = parts.nPort;
    target.path.assign(path.c_str(), parts.dwUrlPathLength);
    target.path.append(extra.c_str(), parts.dwExtraInfoLength);
    if (target.path.empty()) {
        target.path = "/";
    }
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return target;
}

std::string UrlOf(const Target& target) {
    const bool bracket = target.host.find(':') != std::string::npos;
    return std::string(target.secure ? "https://" : "http://") + (bracket ? "[" : "") + target.host +
           (bracket ? "]" : "") + ":" + std::to_string(target.port) + target.path;
}

// `location` (absolute or relative) read against `base`; empty when they cannot be combined.
std::string CombineUrl(const std::string& base, const std::string& location) {
    DWORD size = static_cast<DWORD>(base.size() + location.size() + 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string url(size, '\0');
        if (::InternetCombineUrlA(base.c_str(), location.c_str(), url.data(), &size, ICU_NO_ENCODE)) {
            url.resize(size);
            return url;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        ++size;
    }
    return {};
}

class Transfer {
public:
    Transfer(const TransferSettings& settings, TransferBody& body, TransferSink& sink)
        : m_settings(settings), m_sink(sink), m_body(body) {}

    // One attempt: the request (ranged as the body says) and its answer into the body.
    TransferBody::Outcome Run();

private:
    using Outcome = TransferBody::Outcome;

    Outcome Open();
    // Makes the connection handle (when the server changed) and the request handle for m_target.
    Outcome OpenRequest();
    // Follows the redirect the answer with `status` gives; true when there is a new request to send.
    bool Redirect(DWORD status);
    // Reads and drops the rest of an answer that is not the file.
    bool ReadAway();
    Outcome Negotiate();
    Outcome ReadBody();
    // Sends the request (again), with the Range and If-Range headers when resuming and the conditions of a copy on
    // disk.
    bool Send();
    // Waits for the asynchronous call that returned `ok`; true when it succeeded. On failure the failure
    // is set with `failId` and the call's error; a stop sets m_stopped.
    bool Complete(BOOL ok, StringId failId);
    // The message for a failed call meant to fail with `failId`.
    StringId FailIdFor(StringId failId, DWORD error) const;
    // Reads the next piece (up to `size` bytes) into the state's buffer. False as Complete, and with the
    // failure of silence when the answer stays under the floor.
    bool ReadPiece(DWORD size);
    // Counts `bytes` of the answer to the request that went out last.
    void Count(std::size_t bytes);
    // True, with the failure set, when that answer has brought less than the floor over its window.
    bool BelowFloor();
    void ShowQueuedLines();
    std::optional<std::string> QueryText(DWORD query) const;
    // Prepares the request for another round after a 401 or 407; false when there is none.
    bool Authenticate(DWORD status);
    void SetCredentials(bool proxy, const std::string& user, const std::string& password);
    Outcome Stopped() {
        m_stopped = true;
        return Outcome::Stopped;
    }
    Outcome FailedOr(Outcome failed) { return m_stopped || m_body.Stopped() ? Outcome::Stopped : failed; }

    const TransferSettings& m_settings;
    TransferSink& m_sink;
    TransferBody& m_body;
    Handles m_handles;
    CallbackState& m_state = *m_handles.state;
    bool m_stopped = false;
    ThroughputFloor m_floor{m_settings.floorWindow, m_settings.floorBytes};
    unsigned m_requestsSeen = 0; // the state's requestsSent when the floor last started or paused
    Target m_target;
    int m_redirects = 0;
    std::string m_headers; // the request's own: range and conditions
    bool m_siteStoredUsed = false;
    bool m_proxyStoredUsed = false;
    // Credentials the user gave for the host earlier in the run, tried once in this transfer.
    bool m_siteRecalledUsed = false;
    bool m_proxyRecalledUsed = false;
};

Transfer::Outcome Transfer::Run() {
    Outcome outcome = Open();
    if (outcome == Outcome::Done) {
        outcome = Negotiate();
    }
    if (outcome == Outcome::Done) {
        outcome = ReadBody();
    }
    return outcome;
}

Transfer::Outcome Transfer::Open() {
    const std::string agent = m_settings.agentName.empty() ? LoadString(AFX_IDS_APP_TITLE) : m_settings.agentName;
    DWORD access = 0;
    const char* proxy = nullptr;
    switch (m_settings.accessMode) {
    case 0:
        access = INTERNET_OPEN_TYPE_PRECONFIG;
        break;
    case 1:
        access = INTERNET_OPEN_TYPE_DIRECT;
        break;
    case 2:
        access = INTERNET_OPEN_TYPE_PROXY;
        proxy = m_settings.proxyHost.c_str();
        break;
    default:
        m_body.Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInvalidParameter);
        return Outcome::Failed;
    }
    // WinInet trusts the system's certificate store and nothing else: a file that was meant to widen that
    // trust cannot be honoured, and ignoring it would verify against something else than was asked.
    if (!m_settings.caFile.empty()) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, ERROR_NOT_SUPPORTED);
        return Outcome::Failed;
    }
    if (!m_state.completed) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, ::GetLastError());
        return Outcome::Failed;
    }
    // Asynchronous, so that the worker can wait in slices: a blocked synchronous call cannot be ended.
    m_handles.internet = ::InternetOpenA(agent.c_str(), access, proxy, nullptr, INTERNET_FLAG_ASYNC);
    if (!m_handles.internet) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, ::GetLastError());
        return Outcome::Failed;
    }
    if (m_settings.accessMode == 0 && !m_settings.proxyPacUrl.empty()) {
        m_sink.NoteAttempt(UsePacFile(m_handles.internet, m_settings.proxyPacUrl));
    } else if (m_settings.accessMode == 0) {
        m_sink.NoteAttempt(SystemProxyNote(m_handles.internet));
    }
    if (m_body.StopRequested()) {
        return Stopped();
    }
    if (::InternetSetStatusCallbackA(m_handles.internet, &StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, ::GetLastError());
        return Outcome::Failed;
    }
    // Our own silence limit ends a silent transfer; WinInet's time-outs are set so as not to come first.
    const DWORD timeout = static_cast<DWORD>(m_settings.silenceLimit.count()) + 2 * kWaitSliceMs;
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = timeout;
        ::InternetSetOptionA(m_handles.internet, option, &value, sizeof value);
    }
    if (m_body.StopRequested()) {
        return Stopped();
    }
    m_target = Target{m_settings.hostName, m_settings.port, m_settings.objectPath, m_settings.secure};
    const Outcome opened = OpenRequest();
    if (opened == Outcome::Done) {
        m_sink.StartAnimation();
    }
    return opened;
}

Transfer::Outcome Transfer::OpenRequest() {
    const auto context = reinterpret_cast<DWORD_PTR>(&m_state);
    if (m_handles.request) {
        ::InternetCloseHandle(m_handles.request);
        m_handles.request = nullptr;
    }
    // One connection handle per server; the stored site login belongs to the server first asked only.
    const bool firstServer = m_target.host == m_settings.hostName && m_target.port == m_settings.port;
    if (!m_handles.connect || !firstServer) {
        if (m_handles.connect) {
            ::InternetCloseHandle(m_handles.connect);
            m_handles.connect = nullptr;
        }
        const bool siteLogin = firstServer && !m_settings.siteLogin.empty();
        ++m_state.owners;
        m_handles.connect =
            ::InternetConnectA(m_handles.internet, m_target.host.c_str(), m_target.port,
                               siteLogin ? m_settings.siteLogin.c_str() : nullptr,
                               siteLogin ? m_settings.sitePwd.c_str() : nullptr, INTERNET_SERVICE_HTTP, 0, context);
        if (!m_handles.connect) {
            --m_state.owners;
            m_body.Fail(IDS_CONNECT_FAILED, ::GetLastError());
            return Outcome::Failed;
        }
        m_siteStoredUsed = siteLogin;
        if (m_body.StopRequested()) {
            return Stopped();
        }
    }
    // Stored proxy credentials are given to each request once.
    m_proxyStoredUsed = false;
    // Certificates are verified: none of the flags that accept a wrong name or date.
    const DWORD flags = kRequestFlags | (m_target.secure ? INTERNET_FLAG_SECURE : 0);
    const char* accept[] = {"*/*", nullptr};
    ++m_state.owners;
    m_handles.request = ::HttpOpenRequestA(m_handles.connect, nullptr, m_target.path.c_str(), "HTTP/1.1", nullptr,
                                           accept, flags, context);
    if (!m_handles.request) {
        --m_state.owners;
        m_body.Fail(IDS_CONNECT_FAILED, ::GetLastError());
        return Outcome::Failed;
    }
    if (m_body.StopRequested()) {
        return Stopped();
    }
    return Outcome::Done;
}

bool Transfer::Send() {
    m_headers.clear();
    if (m_body.RangeStart() > 0) {
        m_headers = "Range: bytes=" + std::to_string(m_body.RangeStart()) + "-\r\n";
        if (!m_body.IfRange().empty()) {
            m_headers += "If-Range: " + m_body.IfRange() + "\r\n";
        }
    }
    if (m_body.Conditional() && !m_settings.ifNoneMatch.empty()) {
        m_headers += "If-None-Match: " + m_settings.ifNoneMatch + "\r\n";
    }
    if (m_body.Conditional() && !m_settings.ifModifiedSince.empty()) {
        m_headers += "If-Modified-Since: " + m_settings.ifModifiedSince + "\r\n";
    }
    {
        std::lock_guard lock(m_state.mutex);
        m_state.done = false;
    }
    m_state.Touch();
    // Connecting is the connect time-out's to watch; the floor starts once WinInet says the request is out.
    m_floor.Pause();
    m_requestsSeen = m_state.requestsSent.load();
    const BOOL ok = ::HttpSendRequestA(m_handles.request, m_headers.empty() ? nullptr : m_headers.c_str(),
                                       static_cast<DWORD>(m_headers.size()), nullptr, 0);
    return Complete(ok, IDS_CONNECT_FAILED);
}

Transfer::Outcome Transfer::Negotiate() {
    for (;;) {
        if (!Send()) {
            return FailedOr(Outcome::Failed);
        }
        // The headers count towards the floor, as they do in the libcurl engine.
        if (const std::optional<std::string> headers = QueryText(HTTP_QUERY_RAW_HEADERS_CRLF)) {
            Count(headers->size());
        }
        const std::optional<std::string> statusText = QueryText(HTTP_QUERY_STATUS_CODE);
        if (!statusText) {
            m_body.Fail(IDS_NO_RESPONSE, ::GetLastError());
            return Outcome::Failed;
        }
        const auto status = static_cast<DWORD>(std::strtoul(statusText->c_str(), nullptr, 10));
        if (status == 0) {
            // The connection closed before any answer.
            m_body.Fail(IDS_NO_RESPONSE, transfer_error::kInvalidServerResponse);
            return Outcome::Failed;
        }
        // A 416 can only answer a range, which the body may find already whole; a 304 a conditional request.
        if (status == 200 || status == 206 || (status == 416 && m_body.RangeStart() > 0) ||
            (status == 304 && m_body.Conditional())) {
            const std::optional<std::string> length = QueryText(HTTP_QUERY_CONTENT_LENGTH);
            TransferBody::Answer answer;
            if (length && !length->empty() && length->front() != '-') {
                char* end = nullptr;
                const unsigned long long value = std::strtoull(length->c_str(), &end, 10);
                if (end && *end == '\0') {
                    answer.contentLength = value;
                }
            }
            answer.contentRange = QueryText(HTTP_QUERY_CONTENT_RANGE).value_or(std::string());
            answer.etag = QueryText(HTTP_QUERY_ETAG).value_or(std::string());
            answer.lastModified = QueryText(HTTP_QUERY_LAST_MODIFIED).value_or(std::string());
            return m_body.Start(static_cast<int>(status), answer) ? Outcome::Done : Outcome::Failed;
        }
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            if (!Redirect(status)) {
                return FailedOr(Outcome::Failed);
            }
            continue;
        }
        if (status != 401 && status != 407) {
            m_body.Refuse(status, QueryText(HTTP_QUERY_RETRY_AFTER).value_or(std::string()));
            return Outcome::Failed;
        }
        if (!ReadAway() || !Authenticate(status)) {
            return FailedOr(Outcome::Failed);
        }
    }
}

bool Transfer::ReadAway() {
    // Read to its end, the answer leaves the connection free for the next request.
    do {
        if (!ReadPiece(kChallengePiece)) {
            return false;
        }
    } while (m_state.bytesRead > 0);
    return true;
}

bool Transfer::Redirect(DWORD status) {
    const std::optional<std::string> location = QueryText(HTTP_QUERY_LOCATION);
    if (!location || location->empty() || m_redirects >= kMaxRedirects) {
        m_body.Fail(IDS_BAD_STATUS, status);
        return false;
    }
    ++m_redirects;
    const std::string url = CombineUrl(UrlOf(m_target), *location);
    const std::optional<Target> next = url.empty() ? std::nullopt : CrackUrl(url);
    if (!next) {
        m_body.Fail(IDS_CONNECT_FAILED, transfer_error::kUnrecognizedScheme);
        return false;
    }
    // A secure download never continues in the clear, whatever the server says.
    if (m_target.secure && !next->secure) {
        m_body.Fail(IDS_CONNECT_FAILED, transfer_error::kHttpsToHttpRedirect);
        return false;
    }
    if (!ReadAway()) {
        return false;
    }
    m_sink.ShowStatusText(FormatString(IDS_REDIRECTING, url));
    m_target = *next;
    return OpenRequest() == Outcome::Done;
}

Transfer::Outcome Transfer::ReadBody() {
    for (;;) {
        if (!ReadPiece(kPieceSize)) {
            return FailedOr(Outcome::Failed);
        }
        const DWORD n = m_state.bytesRead;
        if (n == 0) {
            break;
        }
        m_state.Touch();
        if (!m_body.Write(m_state.buffer, n)) {
            return FailedOr(Outcome::Failed);
        }
    }
    // WinInet ends a body that broke off before its length like a whole one; this check tells them apart.
    if (!m_body.End(transfer_error::kConnectionAborted)) {
        return Outcome::Failed;
    }
    return m_body.StopRequested() ? Outcome::Stopped : Outcome::Done;
}

bool Transfer::ReadPiece(DWORD size) {
    {
        std::lock_guard lock(m_state.mutex);
        m_state.done = false;
    }
    m_state.bytesRead = 0;
    const BOOL ok = ::InternetReadFile(m_handles.request, m_state.buffer, size, &m_state.bytesRead);
    if (!Complete(ok, IDS_TRANSFER_FAILED)) {
        return false;
    }
    // Checked here too: pieces that come in less than a wait slice apart never reach the check in Complete.
    Count(m_state.bytesRead);
    return m_state.bytesRead == 0 || !BelowFloor();
}

void Transfer::Count(std::size_t bytes) {
    const Clock::time_point now = Clock::now();
    // WinInet says from its own threads when a request has gone out; the floor counts from then.
    if (const unsigned sent = m_state.requestsSent.load(); sent != m_requestsSeen) {
        m_requestsSeen = sent;
        m_floor.Restart(now);
    }
    m_floor.Add(bytes, now);
}

bool Transfer::BelowFloor() {
    Count(0);
    if (!m_floor.Starved(Clock::now())) {
        return false;
    }
    m_body.Fail(IDS_TRANSFER_FAILED, transfer_error::kTimeout);
    return true;
}

StringId Transfer::FailIdFor(StringId failId, DWORD error) const {
    // A request that reached the server and got no answer, or none that reads as HTTP.
    const bool noAnswer = error == ERROR_INTERNET_CONNECTION_ABORTED || error == ERROR_INTERNET_CONNECTION_RESET ||
                          error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return failId == IDS_CONNECT_FAILED && m_state.connected && noAnswer ? IDS_NO_RESPONSE : failId;
}

bool Transfer::Complete(BOOL ok, StringId failId) {
    if (ok) {
        ShowQueuedLines();
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        ShowQueuedLines();
        m_body.Fail(FailIdFor(failId, error), error);
        return false;
    }
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(m_state.completed, kWaitSliceMs);
        ShowQueuedLines();
        if (waited == WAIT_OBJECT_0) {
            std::lock_guard lock(m_state.mutex);
            if (!m_state.done) {
                continue;
            }
            if (!m_state.result) {
                m_body.Fail(FailIdFor(failId, m_state.error), m_state.error);
                return false;
            }
            return true;
        }
        if (waited != WAIT_TIMEOUT) {
            m_body.Fail(failId, ::GetLastError());
            return false;
        }
        if (m_body.StopRequested()) {
            m_stopped = true;
            return false;
        }
        if (Clock::now() - m_state.LastActivity() > m_settings.silenceLimit) {
            // Silent before a connection: none could be made; once there is one, the transfer broke off, as
            // libcurl's engine reports it too (WinInet hides where a handshake ends and the answer begins).
            m_body.Fail(m_state.connected ? IDS_TRANSFER_FAILED : IDS_CONNECT_FAILED, transfer_error::kTimeout);
            return false;
        }
        // A server that sends a byte now and then is never silent, but stays under the floor.
        if (BelowFloor()) {
            return false;
        }
        // Pieces wait in the target's block; a body that pauses still reaches the disk.
        if (!m_body.FlushIfDue()) {
            return false;
        }
    }
}

void Transfer::ShowQueuedLines() {
    for (;;) {
        std::string line;
        {
            std::lock_guard lock(m_state.mutex);
            if (m_state.lines.empty()) {
                return;
            }
            line = std::move(m_state.lines.front());
            m_state.lines.pop_front();
        }
        m_sink.ShowStatusText(line);
    }
}

std::optional<std::string> Transfer::QueryText(DWORD query) const {
    std::string text(64, '\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size());
        if (::HttpQueryInfoA(m_handles.request, query, text.data(), &size, nullptr)) {
            text.resize(size);
            return text;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::nullopt;
        }
        text.resize(size + 1);
    }
}

bool Transfer::Authenticate(DWORD status) {
    const bool proxy = status == 407;
    const std::string& storedUser = proxy ? m_settings.proxyLogin : m_settings.siteLogin;
    const std::string& storedPassword = proxy ? m_settings.proxyPwd : m_settings.sitePwd;
    bool& storedUsed = proxy ? m_proxyStoredUsed : m_siteStoredUsed;
    // Stored credentials answer one challenge; the same challenge again means they were refused.
    if (!storedUser.empty() && !storedUsed) {
        storedUsed = true;
        SetCredentials(proxy, storedUser, storedPassword);
        return true;
    }
    if (!(proxy ? m_settings.askProxyLogin : m_settings.askSiteLogin)) {
        m_body.Fail(IDS_BAD_STATUS, status);
        return false;
    }
    if (m_body.StopRequested()) {
        m_stopped = true;
        return false;
    }
    if (const auto owner = static_cast<HWND>(m_sink.OwnerWindow())) {
        const DWORD answer = ::InternetErrorDlg(owner, m_handles.request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                                FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                                    FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                                nullptr);
        if (answer != ERROR_INTERNET_FORCE_RETRY) {
            m_body.Fail(IDS_BAD_STATUS, status);
            return false;
        }
        return true;
    }
    // A proxy taken from the system's settings is known to WinInet only; the prompt then names the server.
    std::string host = m_target.host;
    if (proxy && m_settings.accessMode == 2) {
        const std::string& text = m_settings.proxyHost;
        if (const auto named = CrackUrl(text.find("://") == std::string::npos ? "http://" + text : text)) {
            host = named->host;
        }
    }
    std::string user = storedUser;
    std::string password;
    SignInMemory& memory = SignInMemory::Instance();
    bool& recalledUsed = proxy ? m_proxyRecalledUsed : m_siteRecalledUsed;
    // What another transfer was told about this host, tried once.
    const auto recalled = [&] {
        if (recalledUsed || !memory.Recall(proxy, host, user, password)) {
            return false;
        }
        recalledUsed = true;
        SetCredentials(proxy, user, password);
        return true;
    };
    if (recalled()) {
        return true;
    }
    // One prompt per host in a run, and none once the user declined one. A prompt another transfer has open about
    // this host is waited for, and its answer tried instead.
    if (!m_sink.ReadyToAsk() || !memory.TakePrompt(proxy, host, [this] { return m_body.StopRequested(); })) {
        if (recalled()) {
            return true;
        }
        m_body.Fail(IDS_BAD_STATUS, status);
        return false;
    }
    const bool given = m_sink.AskCredentials(proxy, host, user, password);
    memory.NoteAnswer(proxy, host, given, user, password);
    if (!given) {
        m_body.Fail(IDS_BAD_STATUS, status);
        return false;
    }
    if (m_body.StopRequested()) {
        m_stopped = true;
        return false;
    }
    recalledUsed = true;
    SetCredentials(proxy, user, password);
    return true;
}

void Transfer::SetCredentials(bool proxy, const std::string& user, const std::string& password) {
    // A refused option leaves the request as it was; the next round then gets the same challenge.
    ::InternetSetOptionA(m_handles.request, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                         const_cast<char*>(user.c_str()), static_cast<DWORD>(user.size() + 1));
    ::InternetSetOptionA(m_handles.request, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
                         const_cast<char*>(password.c_str()), static_cast<DWORD>(password.size() + 1));
}

} // namespace

void TransferEngine::Run() {
    TransferBody body(m_settings, m_target, m_sink, m_stopRequested);
    body.Run([&](const TransferSettings& source) {
        return source.localFile ? FileTransfer(source, body, m_sink).Run() : Transfer(source, body, m_sink).Run();
    });
}

void TransferEngine::CloseIdleConnections() {
    // WinInet keeps idle connections in a process-wide pool and has no call to close them; told that the
    // settings changed, it drops them.
    ::InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
}

void TransferEngine::AllowConnectionsPerServer(int count) {
    // Process-wide; WinInet's own default (two, or six, by its version) would queue the third transfer behind the
    // first two. A failure keeps that default: the transfers still run, some of them after the others.
    ULONG limit = static_cast<ULONG>(count);
    ::InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &limit, sizeof(limit));
    ::InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &limit, sizeof(limit));
}

} // namespace zarn
