#include "app/console/ConsoleMode.h"

#include "app/PolicyOverrides.h"
#include "app/StartupSteps.h"
#include "app/console/ConsoleHost.h"
#include "app/console/ConsoleTable.h"
#include "components/LauncherSettings.h"
#include "components/StatusWords.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"
#include "platform/Terminal.h"
#include "res/StringTable.h"

#include <cstdio>
#include <string>

namespace zarn {

namespace {

int ExitCodeOf(const CZarnDoc& document) {
    if (document.LastCheckBusy()) {
        return kExitOtherCheck;
    }
    if (document.LastCheckLackedRights()) {
        return kExitNeedsRights;
    }
    if (!document.LastListLoaded()) {
        return kExitListFailed;
    }
    for (const auto& record : document.m_compList) {
        if (record && (record->m_status == kStatusNotInstalled || record->m_status == kStatusOutOfDate)) {
            return kExitNotCurrent;
        }
    }
    return kExitAllCurrent;
}

} // namespace

int RunConsoleMode(const LauncherOptions& given) {
    LauncherOptions options = given;
    LauncherPolicy policy = LauncherPolicy::Read();
    ApplyPolicy(policy, options);
    const bool update = options.mode == LauncherOptions::Mode::Update;
    const std::string appDir = InitAppDirectory();
    if (appDir.empty()) {
        if (!options.quiet) {
            std::fprintf(stderr, "%s\n", LoadString(IDS_NO_APP_DIRECTORY).c_str());
        }
        return kExitListFailed;
    }

    UpdateLog log(UpdateLog::DefaultPath());
    if (options.verbose) {
        log.SetEcho([](const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        });
    }
    ConsoleHost::Settings settings;
    settings.quiet = options.quiet;
    settings.progress = platform::IsTerminal(platform::StandardStream::Error);
    settings.mayAsk = platform::IsTerminal(platform::StandardStream::Input);
    settings.caFile = LauncherSettings::CaFile(options.caFile);
    ConsoleHost host(settings);
    CZarnDoc document(appDir, options.server, host);
    document.SetLog(&log);
    document.FinishInterruptedInstalls();
    ApplyPolicy(policy, document, host, log);
    if (!options.quiet) {
        // On standard error, so that the table and its JSON stay as they are.
        for (const std::string& line : policy.Ignored()) {
            std::fprintf(stderr, "%s\n", FormatString(IDS_POLICY_IGNORED, line).c_str());
        }
        for (const std::string& line : policy.AppliedLines()) {
            std::fprintf(stderr, "%s\n", FormatString(IDS_POLICY_APPLIES, line).c_str());
        }
        std::fflush(stderr);
    }
    if (!document.ListsAreSigned()) {
        // Said even with --quiet: an unattended run is where an unsigned list would go unnoticed. Standard error
        // keeps the table and its JSON on standard output as they are.
        std::fprintf(stderr, "%s\n", LoadString(IDS_UNSIGNED_LISTS_WARNING).c_str());
        std::fflush(stderr);
    }

    log.Write(std::string("QuillornaCC ") + (update ? "--update" : "--check") + " in " + appDir);
    if (update) {
        document.CheckForUpdates();
    } else {
        document.LoadComponentList();
    }
    // Why a component did not become current is in the JSON; the plain table is followed by it unless only the
    // table was asked for.
    std::string table =
        options.json ? ConsoleTable::Json(document.m_compList) : ConsoleTable::Plain(document.m_compList);
    if (!options.json && !options.quiet) {
        table += ConsoleTable::Failures(document.m_compList);
    }
    std::fwrite(table.data(), 1, table.size(), stdout);
    std::fflush(stdout);
    const int exitCode = ExitCodeOf(document);
    log.Write("exit code " + std::to_string(exitCode));
    return exitCode;
}

} // namespace zarn
