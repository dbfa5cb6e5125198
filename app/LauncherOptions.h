// The launcher's command line, read alike by the window and the console mode: which mode it runs in, and the switches.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarn {

struct LauncherOptions {
    enum class Mode {
        Desktop, // no --check, --update, --help or --version: the window
        Check,
        Update,
        Help,
        Version,
    };

    Mode mode = Mode::Desktop;
    std::string server;                // "http[s]://host[:port]" or a folder's "file:///DIR", no trailing "/"
    std::optional<std::string> caFile; // given by --ca-file
    bool json = false;
    bool quiet = false;
    bool verbose = false;
};

// The result of reading a command line: the options, or what is wrong with it.
struct ParsedCommandLine {
    LauncherOptions options;
    std::string error; // empty when the command line is good
};

// Reads `arguments` (without the program name): --server URL, --check, --update, --json, --quiet, --verbose,
// --ca-file FILE, --help, --version. `defaultServer` is the server when --server is not given. Arguments that are
// no switch (the document of the desktop launcher) are left to it, and allowed only in that mode. Any thread.
// A command line that is no good yields the reason in `error`: an unknown switch, a switch given twice, a missing
// or bad value, --json, --quiet or --verbose without --check or --update, --quiet with --verbose, --check with
// --update, --help or --version with anything else.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& defaultServer);

// `text` as a server the document can join the list path to, as --server takes it; none when --server would refuse
// it. Any thread.
std::optional<std::string> ParseServer(const std::string& text);

// The --help text, ending in a line end. Any thread.
std::string UsageText();

} // namespace zarn
