#include "app/PolicyOverrides.h"

#include "components/DocumentHost.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"

namespace zarn {

void ApplyPolicy(LauncherPolicy& policy, LauncherOptions& options) {
    if (policy.Server()) {
        if (const std::optional<std::string> server = ParseServer(*policy.Server())) {
            options.server = *server;
        } else {
            policy.RejectServer("a server as --server takes it");
        }
    }
    if (policy.CaFile()) {
        options.caFile = *policy.CaFile();
    }
}

void ApplyPolicy(const LauncherPolicy& policy, CZarnDoc& document, CDocumentHost& host, UpdateLog& log) {
    for (const std::string& line : policy.Ignored()) {
        log.Write(line);
    }
    for (const std::string& line : policy.AppliedLines()) {
        log.Write("policy applies: " + line);
    }
    if (policy.ProxyServer()) {
        host.SetProxyServer(*policy.ProxyServer());
    } else if (policy.ProxyPacUrl()) {
        // The transfer engines take a named proxy only; the system's own proxy settings still choose the way.
        log.Write("policy ProxyPacUrl " + *policy.ProxyPacUrl() +
                  " is not read by the transfers, which follow the system's proxy settings");
    }
    document.SetPolicy(policy);
}

} // namespace zarn
