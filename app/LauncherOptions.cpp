#include "app/LauncherOptions.h"

#include "components/ServerUrl.h"
#include "download/UrlSplit.h"
#include "platform/CommandLine.h"
#include "platform/FileSystem.h"
#include "res/StringTable.h"

#include <set>

namespace zarn {

namespace {

// The server as the document joins the list path to it: scheme, host and port only. A single trailing "/" is
// dropped; a path, query, user name or anything SplitUrl refuses makes it no good. Anything else that is no http(s)
// URL may name a folder.
std::optional<std::string> ServerFromText(std::string text) {
    if (!text.starts_with("http://") && !text.starts_with("https://")) {
        return FolderServerUrl(text);
    }
    if (text.ends_with('/') && !text.ends_with("//")) {
        text.pop_back();
    }
    const bool http = text.starts_with("http://");
    const bool https = text.starts_with("https://");
    UrlParts parts;
    if ((!http && !https) || !SplitUrl(text, parts) || parts.objectPath != "/" || text.find('@') != std::string::npos ||
        text.ends_with('/')) {
        return std::nullopt;
    }
    return text;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& defaultServer) {
    ParsedCommandLine parsed;
    LauncherOptions& options = parsed.options;
    std::set<std::string> seen;
    std::optional<std::string> server;
    bool check = false, update = false, help = false, version = false, positional = false;
    auto fail = [&parsed](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!platform::IsSwitchArgument(argument)) {
            positional = true;
            continue;
        }
        if (!seen.insert(argument).second) {
            return fail(FormatString(IDS_SWITCH_TWICE, argument));
        }
        if (argument == "--server" || argument == "--ca-file") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return fail(FormatString(IDS_SWITCH_NEEDS_VALUE, argument));
            }
            const std::string& value = arguments[++i];
            if (argument == "--ca-file") {
                options.caFile = value;
                continue;
            }
            server = ServerFromText(value);
            if (!server) {
                return fail(FormatString(IDS_BAD_SERVER, value));
            }
        } else if (argument == "--check") {
            check = true;
        } else if (argument == "--update") {
            update = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            return fail(FormatString(IDS_UNKNOWN_SWITCH, argument));
        }
    }
    options.server = server.value_or(defaultServer);
    if (help || version) {
        if (arguments.size() != 1) {
            return fail(FormatString(IDS_SWITCH_ALONE, help ? "--help" : "--version"));
        }
        options.mode = help ? LauncherOptions::Mode::Help : LauncherOptions::Mode::Version;
        return parsed;
    }
    if (check && update) {
        return fail(LoadString(IDS_CHECK_AND_UPDATE));
    }
    if (!check && !update) {
        for (const char* consoleOnly : {"--json", "--quiet", "--verbose"}) {
            if (seen.contains(consoleOnly)) {
                return fail(FormatString(IDS_NEEDS_CHECK_OR_UPDATE, consoleOnly));
            }
        }
        return parsed;
    }
    if (options.quiet && options.verbose) {
        return fail(LoadString(IDS_QUIET_AND_VERBOSE));
    }
    if (positional) {
        return fail(LoadString(IDS_CONSOLE_NO_DOCUMENT));
    }
    options.mode = check ? LauncherOptions::Mode::Check : LauncherOptions::Mode::Update;
    return parsed;
}

std::optional<std::string> ParseServer(const std::string& text) {
    return ServerFromText(text);
}

std::string UsageText() {
    return LoadString(IDS_USAGE);
}

} // namespace zarn
