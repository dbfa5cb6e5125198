#include "components/ServerUrl.h"

#include "download/FileTransfer.h"
#include "download/UrlSplit.h"
#include "platform/FileSystem.h"
#include "text/AsciiText.h"

#include <algorithm>

namespace zarn {

bool IsFileUrl(std::string_view url) {
    return url.size() >= 5 && ToLowerAscii(std::string(url.substr(0, 5))) == "file:";
}

std::optional<std::string> FolderServerUrl(const std::string& text) {
    std::optional<std::string> path = text;
    if (IsFileUrl(text)) {
        UrlParts parts;
        path = SplitUrl(text, parts) && parts.service == kServiceFile
                   ? FileTransfer::LocalPathOf(parts.hostName, parts.objectPath)
                   : std::nullopt;
    }
    if (path) {
        path = platform::ResolvedPath(*path);
    }
    if (!path || !platform::PathExists(*path) || platform::FileExists(*path)) {
        return std::nullopt;
    }
    std::string url = platform::FileUrlOfPath(*path);
    while (url.ends_with('/')) {
        url.pop_back();
    }
    return url;
}

std::optional<std::string> UrlUnderServer(const std::string& url, const std::string& server) {
    UrlParts parts;
    if (!SplitUrl(url, parts) || (parts.service != kServiceHttp && parts.service != kServiceHttps)) {
        return url;
    }
    const std::string path = parts.objectPath.substr(0, parts.objectPath.find_first_of("?#"));
    const std::string lower = ToLowerAscii(path);
    for (const char* escaped : {"%2f", "%5c", "%2e"}) {
        if (lower.find(escaped) != std::string::npos) {
            return std::nullopt;
        }
    }
    if (path.find('\\') != std::string::npos) {
        return std::nullopt;
    }
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view segment(path.data() + start, end - start);
        if (segment == "." || segment == "..") {
            return std::nullopt;
        }
        start = end + 1;
    }
    return server + path;
}

} // namespace zarn
