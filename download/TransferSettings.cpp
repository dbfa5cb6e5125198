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

} // namespace zarn
