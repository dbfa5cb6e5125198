#include "res/StringTable.h"

#include <map>

namespace zarn {

namespace {

const std::map<StringId, std::string>& Table() {
    static const std::map<StringId, std::string> table = {
        {IDS_SOURCE_LINE, "%1 from %2"},
        {IDS_CONNECTED, "Connected to %1"},
        {IDS_RESOLVING_NAME, "Resolving name: %1"},
        {IDS_NAME_RESOLVED, "Resolved name to %1"},
        {IDS_CONNECTING, "Connecting to %1"},
        {IDS_REDIRECTING, "Redirecting to %1"},
        {IDS_GETTING_FILE_INFO, "Getting file information"},
        {IDS_DOWNLOAD_FAILED, "An error occurred while attempting to download the file, Error:%1"},
        {IDS_CONNECT_FAILED,
         "An error occurred connecting to the server \nPlease check your Internet Connection, Error:%1"},
        {IDS_NO_RESPONSE, "Failed to receive a valid response from the server, Error:%1"},
        {IDS_BAD_STATUS, "Failed to receive a valid HTTP response from the server, Response Code:%1"},
        {IDS_TRANSFER_FAILED, "An error occurred while downloading the file, Error:%1"},
        {IDS_PERCENT_DONE, "%1% of %2 Completed"},
        {IDS_RETRIEVING_FILE, "Retrieving the file"},
        {IDS_AMOUNT_OF, "%1 of %2"},
        {IDS_SECONDS, "%1 sec"},
        {IDS_MINUTES, "%1 min"},
        {IDS_MINUTES_SECONDS, "%1 min %2 sec"},
        {IDS_BYTES, "%1 Bytes"},
        {IDS_KILOBYTES, "%1 KB"},
        {IDS_MEGABYTES, "%1 MB"},
        {IDS_TIME_LEFT, "%1 (%2 copied)"},
        {IDS_BYTES_PER_SEC, "%1 Bytes/Sec"},
        {IDS_KB_PER_SEC, "%1 KB/Sec"},
        {IDS_OPEN_FILE_FAILED, "An error occured while opening the file to be downloaded, Error:%1"},
        {IDS_ABORTING, "Aborting transfer"},
        {IDS_RETRY_WAIT, "Waiting %1 sec to try again (%2)"},
        {IDS_MORE_DOWNLOADING, "%1 (%2 more downloading)"},
        {IDS_FILE_TOO_LARGE,
         "The file is larger than the component list says (%1 bytes); the download was stopped and not kept"},
        {IDS_FILE_OVER_LIMIT, "The file is larger than its limit of %1 bytes; the download was stopped and not kept"},
        {IDS_FILE_MISMATCH, "The file does not match the component list and was not kept: expected %1, received %2"},
        {IDS_SEEK_FILE_FAILED, "An error occurred while seeking to the end of the file to be downloaded, Error:%1"},
        {IDS_DOWNLOAD_CAPTION, "File Download"},
        {IDS_TIME_LEFT_LABEL, "Estimated time left:"},
        {IDS_RATE_LABEL, "Transfer rate:"},
        {IDS_CANCEL, "Cancel"},
        {IDS_OK, "OK"},
        {IDS_PROXY_ASKS, "The proxy server %1 asks for a user name and password."},
        {IDS_SERVER_ASKS, "The web server %1 asks for a user name and password."},
        {IDS_CREDENTIALS_CAPTION, "Enter Network Password"},
        {IDS_USER_NAME_LABEL, "&User name:"},
        {IDS_PASSWORD_LABEL, "&Password:"},
        {IDS_USER_NAME_PROMPT, "User name: "},
        {IDS_USER_NAME_KEPT, "User name [%1]: "},
        {IDS_PASSWORD_PROMPT, "Password: "},
        {IDS_START_CAPTION, "Start Quillorna"},
        {IDS_START_PROMPT, "Please Select one of the following:"},
        {IDS_START_DESIGN, "Start Designing"},
        {IDS_START_UPDATE, "Check for online Program Updates"},
        {IDS_ABOUT_CAPTION, "About Quillorna"},
        {IDS_ABOUT_PRODUCT, "Quillorna by Ostrevant Ltd."},
        {IDS_ABOUT_CONTACT, "email: support@ostrevant.com"},
        {IDS_ABOUT_COPYRIGHT, "\u00A9 2026 Ostrevant Ltd."},
        {IDS_ABOUT_UNSIGNED, "Built without vendor keys: this launcher accepts component lists without a signature."},
        {IDS_COLUMN_COMPONENT, "Component"},
        {IDS_COLUMN_VERSION, "Version"},
        {IDS_COLUMN_STATUS, "Status"},
        {IDS_USAGE, "usage: QuillornaCC [DOCUMENT] [--server URL] [--ca-file FILE]\n"
                    "       QuillornaCC --check|--update [--json] [--quiet|--verbose] [--server URL] [--ca-file FILE]\n"
                    "       QuillornaCC --help|--version\n"
                    "\n"
                    "Without --check or --update the desktop launcher starts.\n"
                    "  --server URL    the vendor's server, http://host[:port] or https://host[:port], or a folder\n"
                    "                  holding a copy of its repository, as PATH or file:///PATH\n"
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
                    "1 bad usage.\n"},
        {IDS_BAD_COMMAND_LINE, "QuillornaCC: %1 (see QuillornaCC --help)"},
        {IDS_NO_APP_DIRECTORY, "QuillornaCC: cannot tell the directory of the running executable"},
        {IDS_UNSIGNED_LISTS_WARNING,
         "QuillornaCC: warning: this build has no vendor keys, so it accepts component lists without a signature"},
        {IDS_NO_SEARCH_PATH, "QuillornaCC: cannot restrict the library search path"},
        {IDS_WINDOW_NOT_LOADED,
         "QuillornaCC: the window cannot be loaded from %1 (system error %2); --check and --update still work (see "
         "--help)"},
        {IDS_NO_WINDOW, "QuillornaCC: this build has no window; use --check or --update (see --help)"},
        {IDS_LISTS_UNSIGNED, "component lists: unsigned (this build has no vendor keys)"},
        {IDS_LISTS_SIGNED, "component lists: signed, %1 vendor key(s)"},
        {IDS_SWITCH_TWICE, "%1 is given twice"},
        {IDS_SWITCH_NEEDS_VALUE, "%1 needs a value"},
        {IDS_BAD_SERVER, "--server needs http://host[:port], https://host[:port] or an existing folder, not %1"},
        {IDS_UNKNOWN_SWITCH, "unknown switch %1"},
        {IDS_SWITCH_ALONE, "%1 stands alone"},
        {IDS_CHECK_AND_UPDATE, "--check and --update exclude each other"},
        {IDS_NEEDS_CHECK_OR_UPDATE, "%1 needs --check or --update"},
        {IDS_QUIET_AND_VERBOSE, "--quiet and --verbose exclude each other"},
        {IDS_CONSOLE_NO_DOCUMENT, "--check and --update take no document"},
        {IDS_INSTALLED_VERSION_READS, "installed, but its version still reads %1"},
        {IDS_INSTALLED_NO_VERSION, "installed, but no version of it can be found"},
        {IDS_UPDATES_DISABLED_BY_POLICY,
         "Updates are switched off by your administrator's policy.\nThe components' statuses are shown; nothing is "
         "downloaded or installed."},
        {IDS_POLICY_APPLIES, "QuillornaCC: policy applies: %1"},
        {IDS_POLICY_IGNORED, "QuillornaCC: %1"},
        {IDS_CHECK_NEEDS_RIGHTS,
         "You do not have the right to write to %1, so the update check was not run and the previous list is "
         "kept.\nAsk your administrator to update Quillorna, or to give you that right."},
        {IDS_UPDATES_NEED_RIGHTS,
         "You do not have the rights these updates need, so they were not installed:\n%1\nAsk your administrator "
         "to install them, or to give you those rights."},
        {IDS_NEEDS_FOLDER_RIGHT, "needs the right to write to %1"},
        {IDS_NEEDS_KEY_RIGHT, "needs the right to change the registry key %1"},
        {IDR_MAINFRAME, "Quillorna by www.ostrevant.com [www.quillorna.com]\n\nCad\n\n\nCad.Document\nCad Document"},
        {AFX_IDS_APP_TITLE, "zarn"},
        {AFX_IDS_IDLEMESSAGE, "Ready"},
        {ID_INDICATOR_CAPS, "CAP"},
        {ID_INDICATOR_NUM, "NUM"},
        {ID_INDICATOR_SCRL, "SCRL"},
        {AFX_IDP_FAILED_TO_OPEN_DOC, "Failed to open document."},
        {IDS_PROMPT_ABOUT, "Display program information, version number and copyright\nAbout"},
        {IDS_PROMPT_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
    };
    return table;
}

// One pass over the format, so that a "%2" inside the first argument is not replaced again.
std::string Substitute(const std::string& format, const std::string* args, size_t count) {
    std::string out;
    out.reserve(format.size() + 32);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char digit = format[i + 1];
            if (digit >= '1' && static_cast<size_t>(digit - '1') < count) {
                out += args[digit - '1'];
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace

const std::string& LoadString(StringId id) {
    static const std::string empty;
    const auto& table = Table();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

std::string FormatString(StringId id, const std::string& arg1) {
    return Substitute(LoadString(id), &arg1, 1);
}

std::string FormatString(StringId id, const std::string& arg1, const std::string& arg2) {
    const std::string args[] = {arg1, arg2};
    return Substitute(LoadString(id), args, 2);
}

} // namespace zarn
