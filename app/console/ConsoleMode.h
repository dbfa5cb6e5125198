// The console mode: --check and --update without a window.
#pragma once

#include "app/LauncherOptions.h"

namespace zarn {

// The exit codes of --check and --update.
inline constexpr int kExitAllCurrent = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitListFailed = 2;
inline constexpr int kExitNotCurrent = 3;
inline constexpr int kExitOtherCheck = 4;
inline constexpr int kExitNeedsRights = 5;

// Runs `options.mode` (Check or Update) in the application directory of the running executable: fetches and
// reads the list, detects every component (and for Update installs every missing or out-of-date one), prints the
// table on standard output and logs every step. UI thread. Returns kExitOtherCheck when another process's update
// check of the same application directory outlasted the wait (the table is then the list on disk's), else
// kExitNeedsRights when the user lacked a right the check or an install needed, else kExitListFailed when the list
// could not be fetched or read, else kExitNotCurrent when some component is NOT_INSTALLED or OUT_OF_DATE, else
// kExitAllCurrent.
int RunConsoleMode(const LauncherOptions& options);

} // namespace zarn
