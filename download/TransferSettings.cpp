#include "download/TransferSettings.h"

#include "download/RetryPolicy.h"

namespace zarn {

TransferSettings TransferSettings::ForUrl(const UrlParts& parts) {
    TransferSettings settings;
    settings.hostName = parts.hostName;
    settings.port = parts.port;
    settings.objectPath = parts.objectPath;
    settings.secure = parts.service == kServiceHttps;
    settings.localFile = parts.service == kServiceFile;
    settings.retryDelayScale = RetryPolicy::DelayScaleFromEnvironment();
    return settings;
}

std::optional<TransferSettings> TransferSettings::ForSource(std::string url) const {
    UrlParts parts;
    if (!SplitDownloadUrl(url, parts)) {
        return std::nullopt;
    }
    const TransferSettings split = ForUrl(parts);
    TransferSettings settings = *this;
    settings.hostName = split.hostName;
    settings.port = split.port;
    settings.objectPath = split.objectPath;
    settings.secure = split.secure;
    settings.localFile = split.localFile;
    return settings;
}

} // namespace zarn
