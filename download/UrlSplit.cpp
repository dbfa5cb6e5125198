#include "download/UrlSplit.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace zarn {

namespace {

struct Scheme {
    std::string_view name;
    std::uint32_t service;
    std::uint16_t defaultPort;
};

// file:// has no port of its own; it is read from the disk, so its port only fills the field.
constexpr std::array<Scheme, 5> kSchemes{{
    {"http", kServiceHttp, 80},
    {"https", kServiceHttps, 443},
    {"ftp", kServiceFtp, 21},
    {"gopher", kServiceGopher, 70},
    {"file", kServiceFile, 80},
}};

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool ParsePort(std::string_view text, std::uint16_t& port) {
    // Five digits at most, so the value cannot overflow before the range check.
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool IsValidIpv6Literal(std::string_view inner) {
    return !inner.empty() && std::all_of(inner.begin(), inner.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
    });
}

} // namespace

bool SplitUrl(const std::string& url, UrlParts& parts) {
    // A URL copied from a line of text may carry blanks or a line end around it; they are not part of it.
    std::string_view text = url;
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    // A line break inside would end the request line early and let the rest become a header.
    if (std::any_of(text.begin(), text.end(), IsControl))
        return false;

    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos)
        return false;
    const auto scheme = std::find_if(kSchemes.begin(), kSchemes.end(),
                                     [&](const Scheme& s) { return EqualNoCase(s.name, text.substr(0, schemeEnd)); });
    if (scheme == kSchemes.end())
        return false;

    std::string_view rest = text.substr(schemeEnd + 3);
    const auto authorityEnd = rest.find_first_of("/\\?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view path = authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);

    // Credentials written into the URL are not part of the host.
    const auto at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host;
    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos || !IsValidIpv6Literal(authority.substr(1, close - 1)))
            return false;
        host = authority.substr(0, close + 1);
        const auto after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            hasPort = true;
            portText = after.substr(1);
        }
    } else {
        const auto colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portText = authority.substr(colon + 1);
        }
    }
    // "file:///dir/file" names a file of this computer: the one scheme whose host may be left out.
    if ((host.empty() && scheme->service != kServiceFile) ||
        std::any_of(host.begin(), host.end(), [](char c) { return c == ' '; }))
        return false;

    std::uint16_t port = scheme->defaultPort;
    if (hasPort && !ParsePort(portText, port))
        return false;

    parts.service = scheme->service;
    parts.hostName.assign(host);
    parts.port = port;
    parts.objectPath.clear();
    if (path.empty() || path.front() == '?' || path.front() == '#')
        parts.objectPath.push_back('/');
    parts.objectPath.append(path);
    return true;
}

bool SplitDownloadUrl(std::string& url, UrlParts& parts) {
    if (SplitUrl(url, parts)) {
        return true;
    }
    url = "http://" + url;
    return SplitUrl(url, parts);
}

std::string ShownNameOf(const std::string& objectPath) {
    auto separator = objectPath.rfind('/');
    if (separator == std::string::npos)
        separator = objectPath.rfind('\\');
    if (separator == std::string::npos || objectPath.size() <= 1)
        return objectPath;
    return objectPath.substr(separator + 1);
}

} // namespace zarn
