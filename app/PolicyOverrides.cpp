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
    // A named proxy wins over a PAC file, as it does in the system's own settings.
    host.SetProxy(policy.ProxyServer().value_or(""), policy.ProxyServer() ? "" : policy.ProxyPacUrl().value_or(""));
    document.SetPolicy(policy);
}

} // namespace zarn
