#include "app/LauncherOptions.h"

#include "download/UrlSplit.h"
#include "platform/CommandLine.h"

#include <set>

namespace zarn {

namespace {

// The server as the document joins the list path to it: scheme, host and port only. A single trailing "/" is
// dropped; a path, query, user name or anything SplitUrl refuses makes it no good.
std::optional<std::string> ServerFromText(std::string text) {
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
            return fail(argument + " is given twice");
        }
        if (argument == "--server" || argument == "--ca-file") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return fail(argument + " needs a value");
            }
            const std::string& value = arguments[++i];
            if (argument == "--ca-file") {
                options.caFile = value;
                continue;
            }
            server = ServerFromText(value);
            if (!server) {
                return fail("--server needs http://host[:port] or https://host[:port], not " + value);
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
            return fail("unknown switch " + argument);
        }
    }
    options.server = server.value_or(defaultServer);
    if (help || version) {
        if (arguments.size() != 1) {
            return fail(std::string(help ? "--help" : "--version") + " stands alone");
        }
        options.mode = help ? LauncherOptions::Mode::Help : LauncherOptions::Mode::Version;
        return parsed;
    }
    if (check && update) {
        return fail("--check and --update exclude each other");
    }
    if (!check && !update) {
        for (const char* consoleOnly : {"--json", "--quiet", "--verbose"}) {
            if (seen.contains(consoleOnly)) {
                return fail(std::string(consoleOnly) + " needs --check or --update");
            }
        }
        return parsed;
    }
    if (options.quiet && options.verbose) {
        return fail("--quiet and --verbose exclude each other");
    }
    if (positional) {
        return fail("--check and --update take no document");
    }
    options.mode = check ? LauncherOptions::Mode::Check : LauncherOptions::Mode::Update;
    return parsed;
}

std::string UsageText() {
    return "usage: QuillornaCC [DOCUMENT] [--server URL] [--ca-file FILE]\n"
           "       QuillornaCC --check|--update [--json] [--quiet|--verbose] [--server URL] [--ca-file FILE]\n"
           "       QuillornaCC --help|--version\n"
           "\n"
           "Without --check or --update the desktop launcher starts.\n"
           "  --server URL    the vendor's server, http://host[:port] or https://host[:port]\n"
           "  --check         fetch the component list, show every component's status, install nothing\n"
           "  --update        fetch the list and install every missing or out-of-date component\n"
           "  --json          print the table as JSON\n"
           "  --quiet         print only the table\n"
           "  --verbose       also print the log's lines on standard error\n"
           "  --ca-file FILE  trust this certificate authority besides the system's\n"
           "  --help          show this text\n"
           "  --version       show the launcher's version\n"
           "\n"
           "Exit status of --check and --update: 0 every component CURRENT or NEWER THAN SPECIFIED,\n"
           "3 some component NOT_INSTALLED or OUT_OF_DATE, 2 the list could not be fetched or read,\n"
           "1 bad usage.\n";
}

} // namespace zarn
