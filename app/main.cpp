// QuillornaCC: the desktop launcher, or with --check or --update the console mode.
#include "app/DesktopLauncher.h"
#include "app/LauncherOptions.h"
#include "app/SettingsCarryOver.h"
#include "app/console/ConsoleMode.h"
#include "components/LauncherSettings.h"
#include "components/ListKeys.h"
#include "platform/Library.h"
#include "res/StringTable.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Before either mode reads the settings. A file that could not be carried over is said, as its certificate
// authority would otherwise go missing without a word; it stays, so a later run carries it over.
void CarryOverFormerSettings(bool quiet) {
    const std::string file = zarn::FormerSettingsFile();
    if (!zarn::CarryOverSettingsFile(file, zarn::LauncherSettings::kMaxRecentFiles) && !quiet) {
        std::fprintf(stderr, "QuillornaCC: the settings in %s could not be carried over into the registry\n",
                     file.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!zarn::platform::Library::RestrictSearchPath()) {
        std::fprintf(stderr, "%s\n", zarn::LoadString(zarn::IDS_NO_SEARCH_PATH).c_str());
        return zarn::kExitListFailed;
    }
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const zarn::ParsedCommandLine parsed = zarn::ParseCommandLine(arguments, ZARN_DEFAULT_SERVER);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s\n", zarn::FormatString(zarn::IDS_BAD_COMMAND_LINE, parsed.error).c_str());
        return zarn::kExitUsage;
    }
    switch (parsed.options.mode) {
    case zarn::LauncherOptions::Mode::Desktop:
        CarryOverFormerSettings(false);
        return zarn::RunDesktopLauncher(argc, argv);
    case zarn::LauncherOptions::Mode::Help:
        std::fputs(zarn::UsageText().c_str(), stdout);
        return 0;
    case zarn::LauncherOptions::Mode::Version:
        std::puts("QuillornaCC " ZARN_VERSION);
        if (zarn::BuiltInListKeys().empty()) {
            std::puts(zarn::LoadString(zarn::IDS_LISTS_UNSIGNED).c_str());
        } else {
            std::puts(
                zarn::FormatString(zarn::IDS_LISTS_SIGNED, std::to_string(zarn::BuiltInListKeys().size())).c_str());
        }
        return 0;
    case zarn::LauncherOptions::Mode::Check:
    case zarn::LauncherOptions::Mode::Update:
        break;
    }
    CarryOverFormerSettings(parsed.options.quiet);
    return zarn::RunConsoleMode(parsed.options);
}
