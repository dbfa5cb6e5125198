// Splitting a download URL into the parts a transfer needs: service type, host, port and object path.
#pragma once

#include <cstdint>
#include <string>

namespace zarn {

// Service types, numbered as the platform's URL parser numbers them. A file URL is read from the disk (its host
// empty, "localhost" or, on Windows, a share's server); http and https are fetched as such; the others are accepted
// and fetched as http.
inline constexpr std::uint32_t kServiceFtp = 1;
inline constexpr std::uint32_t kServiceGopher = 2;
inline constexpr std::uint32_t kServiceHttp = 3;
inline constexpr std::uint32_t kServiceFile = 0x1001;
inline constexpr std::uint32_t kServiceHttps = 0x100B;

struct UrlParts {
    std::uint32_t service = 0;
    std::string hostName;         // as written, brackets kept around an IPv6 literal
    std::uint16_t port = 0;       // the scheme's default when the URL names none
    std::string objectPath = "/"; // everything after host and port, query included; "/" when empty
};

// Splits "scheme://[user[:password]@]host[:port][/path]" (scheme: http, https, ftp, gopher, file,
// any case). Returns false, leaving `parts` unspecified, when there is no "scheme://", the scheme is
// unknown, the host is empty (file URLs excepted) or holds blanks or control characters, the port is not 1..65535, or
// the URL holds a control character. Any thread.
bool SplitUrl(const std::string& url, UrlParts& parts);

// Splits a download's URL: one that does not split is taken as http, so "http://" is put in front of
// `url` and that is split. False when neither splits. Any thread.
bool SplitDownloadUrl(std::string& url, UrlParts& parts);

// The file name the download texts show for an object path: what follows its last "/" (or, when it
// has none, its last "\"); the whole path when it has neither or is at most one character long.
// Any thread.
std::string ShownNameOf(const std::string& objectPath);

} // namespace zarn
