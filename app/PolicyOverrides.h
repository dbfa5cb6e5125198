// How the administrators' policy overrides a run's command line and settings, alike for the window and the console.
#pragma once

#include "app/LauncherOptions.h"
#include "components/LauncherPolicy.h"

#include <string>
#include <vector>

namespace zarn {

class CDocumentHost;
class CZarnDoc;
class UpdateLog;

// Puts the policy's server and certificate authority over those of `options` (a policy server that --server would
// refuse is dropped from `policy`, saying why in its Ignored()). Any thread.
void ApplyPolicy(LauncherPolicy& policy, LauncherOptions& options);

// Hands `policy` to the document, its proxy to `host`, and writes into `log` which values apply and which were
// ignored. UI thread.
void ApplyPolicy(const LauncherPolicy& policy, CZarnDoc& document, CDocumentHost& host, UpdateLog& log);

} // namespace zarn
