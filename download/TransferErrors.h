// The numbers a failed download's message carries (the %1 of messages 210, 211, 212 and 214), one numbering
// on every system. A failure of the network carries WinInet's number, whichever engine met it: the Windows
// engine has them from WinInet itself (and checks these against <wininet.h>), the libcurl engine maps its own
// codes to them. A failure of the target file keeps the system's own error number (errno, GetLastError), which
// never reaches 12000, so the two kinds cannot be taken for each other.
#pragma once

namespace zarn::transfer_error {

// ERROR_INVALID_PARAMETER: an access mode other than 0, 1 and 2 (what InternetOpen answers for one).
inline constexpr unsigned long kInvalidParameter = 87;
// ERROR_INTERNET_TIMEOUT: nothing received for the silence limit, or less than the floor over its window.
inline constexpr unsigned long kTimeout = 12002;
// ERROR_INTERNET_INTERNAL_ERROR: the HTTP library itself failed (no memory, no handle, an unexpected code).
inline constexpr unsigned long kInternalError = 12004;
// ERROR_INTERNET_UNRECOGNIZED_SCHEME: a redirect to a location that is no http or https URL.
inline constexpr unsigned long kUnrecognizedScheme = 12006;
// ERROR_INTERNET_NAME_NOT_RESOLVED: the server's (or the proxy's) name is not known.
inline constexpr unsigned long kNameNotResolved = 12007;
// ERROR_INTERNET_CANNOT_CONNECT: no connection could be made.
inline constexpr unsigned long kCannotConnect = 12029;
// ERROR_INTERNET_CONNECTION_ABORTED: the connection broke off, or the body ended before its length.
inline constexpr unsigned long kConnectionAborted = 12030;
// ERROR_INTERNET_CONNECTION_RESET: the server reset the connection (WinInet's own word for it).
inline constexpr unsigned long kConnectionReset = 12031;
// ERROR_INTERNET_SEC_CERT_DATE_INVALID: the server's certificate has expired or is not valid yet.
inline constexpr unsigned long kCertDateInvalid = 12037;
// ERROR_INTERNET_SEC_CERT_CN_INVALID: the server's certificate names another host.
inline constexpr unsigned long kCertNameInvalid = 12038;
// ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR: an https download redirected to http, which is refused.
inline constexpr unsigned long kHttpsToHttpRedirect = 12040;
// ERROR_INTERNET_INVALID_CA: the server's certificate does not lead to a trusted authority.
inline constexpr unsigned long kInvalidCa = 12045;
// ERROR_HTTP_INVALID_SERVER_RESPONSE: the server answered nothing, or nothing that reads as HTTP.
inline constexpr unsigned long kInvalidServerResponse = 12152;
// ERROR_INTERNET_SECURITY_CHANNEL_ERROR: the TLS handshake failed for a reason other than the certificate.
inline constexpr unsigned long kSecurityChannelError = 12157;
// ERROR_INTERNET_SEC_CERT_REVOKED: the server's certificate has been revoked.
inline constexpr unsigned long kCertRevoked = 12170;

} // namespace zarn::transfer_error
