// QuillornaCC: the desktop launcher, or with --check or --update the console mode.
#include "app/DesktopLauncher.h"
#include "app/console/ConsoleMode.h"
#include "app/console/ConsoleOptions.h"
#include "components/ListKeys.h"
#include "platform/Library.h"
#include "res/StringTable.h"

#include <cstdio>
#include <string>
#include <vector>

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
    case zarn::ConsoleOptions::Mode::Desktop:
        return zarn::RunDesktopLauncher(argc, argv);
    case zarn::ConsoleOptions::Mode::Help:
        std::fputs(zarn::UsageText().c_str(), stdout);
        return 0;
    case zarn::ConsoleOptions::Mode::Version:
        std::puts("QuillornaCC " ZARN_VERSION);
        if (zarn::BuiltInListKeys().empty()) {
            std::puts(zarn::LoadString(zarn::IDS_LISTS_UNSIGNED).c_str());
        } else {
            std::puts(
                zarn::FormatString(zarn::IDS_LISTS_SIGNED, std::to_string(zarn::BuiltInListKeys().size())).c_str());
        }
        return 0;
    case zarn::ConsoleOptions::Mode::Check:
    case zarn::ConsoleOptions::Mode::Update:
        break;
    }
    return zarn::RunConsoleMode(parsed.options);
}
