// The ids of the string table's texts. Each number is written here once; code names the text.
#pragma once

namespace zarn {

enum StringId : unsigned {
    // The download dialog's source line and status lines.
    IDS_SOURCE_LINE = 202,       // "%1 from %2"
    IDS_CONNECTED = 203,         // "Connected to %1"
    IDS_RESOLVING_NAME = 204,    // "Resolving name: %1"
    IDS_NAME_RESOLVED = 205,     // "Resolved name to %1"
    IDS_CONNECTING = 206,        // "Connecting to %1"
    IDS_REDIRECTING = 207,       // "Redirecting to %1"
    IDS_GETTING_FILE_INFO = 208, // "Getting file information"
    IDS_RETRIEVING_FILE = 216,   // "Retrieving the file"
    IDS_ABORTING = 232,          // "Aborting transfer"
    IDS_RETRY_WAIT = 234,        // "Waiting %1 sec to try again (%2)"
    IDS_MORE_DOWNLOADING = 235,  // "%1 (%2 more downloading)": a status line while other downloads run

    // Failures of a download; %1 is an error code or the HTTP status.
    IDS_DOWNLOAD_FAILED = 210,  // could not start the transfer
    IDS_CONNECT_FAILED = 211,   // could not connect or send the request
    IDS_NO_RESPONSE = 212,      // no valid response
    IDS_BAD_STATUS = 213,       // an HTTP status other than 200, 206, 401 and 407
    IDS_TRANSFER_FAILED = 214,  // the body broke off, went silent or could not be written
    IDS_OPEN_FILE_FAILED = 231, // the target file could not be opened
    IDS_SEEK_FILE_FAILED = 233, // the target file could not be positioned
    IDS_FILE_TOO_LARGE = 240,   // the body passed the size the component list gives; %1 is that size
    IDS_FILE_MISMATCH = 241,    // the body is not the file the list describes; %1 expected, %2 received
    IDS_FILE_OVER_LIMIT = 242,  // the body passed the most a file of its kind may have; %1 is that limit

    // The figures of a running download.
    IDS_PERCENT_DONE = 215,    // "%1% of %2 Completed"
    IDS_AMOUNT_OF = 217,       // "%1 of %2"
    IDS_SECONDS = 218,         // "%1 sec"
    IDS_MINUTES = 219,         // "%1 min"
    IDS_MINUTES_SECONDS = 220, // "%1 min %2 sec"
    IDS_BYTES = 221,           // "%1 Bytes"
    IDS_KILOBYTES = 223,       // "%1 KB"
    IDS_MEGABYTES = 225,       // "%1 MB"
    IDS_TIME_LEFT = 227,       // "%1 (%2 copied)"
    IDS_BYTES_PER_SEC = 228,   // "%1 Bytes/Sec"
    IDS_KB_PER_SEC = 229,      // "%1 KB/Sec"

    // The download dialog's fixed texts.
    IDS_DOWNLOAD_CAPTION = 250, // "File Download"
    IDS_TIME_LEFT_LABEL = 251,  // "Estimated time left:"
    IDS_RATE_LABEL = 252,       // "Transfer rate:"
    IDS_CANCEL = 253,           // "Cancel", the button
    IDS_OK = 254,               // "OK", the button

    // The question for a user name and password, the dialog that asks it and the console's prompts.
    IDS_PROXY_ASKS = 260,          // "The proxy server %1 asks for a user name and password."
    IDS_SERVER_ASKS = 261,         // "The web server %1 asks for a user name and password."
    IDS_CREDENTIALS_CAPTION = 262, // "Enter Network Password"
    IDS_USER_NAME_LABEL = 263,     // "&User name:"
    IDS_PASSWORD_LABEL = 264,      // "&Password:"
    IDS_USER_NAME_PROMPT = 265,    // "User name: ", on the terminal
    IDS_USER_NAME_KEPT = 266,      // "User name [%1]: ", on the terminal: Enter keeps %1
    IDS_PASSWORD_PROMPT = 267,     // "Password: ", on the terminal

    // The start dialog.
    IDS_START_CAPTION = 270, // "Start Quillorna"
    IDS_START_PROMPT = 271,  // "Please Select one of the following:"
    IDS_START_DESIGN = 272,  // "Start Designing"
    IDS_START_UPDATE = 273,  // "Check for online Program Updates"

    // The about box.
    IDS_ABOUT_CAPTION = 280,   // "About Quillorna"
    IDS_ABOUT_PRODUCT = 281,   // "Quillorna by Ostrevant Ltd."
    IDS_ABOUT_CONTACT = 282,   // "email: support@ostrevant.com"
    IDS_ABOUT_COPYRIGHT = 283, // the copyright line
    IDS_ABOUT_UNSIGNED = 284,  // what a build without vendor keys accepts

    // The component list's column headings, in the window's list and the console's table.
    IDS_COLUMN_COMPONENT = 290, // "Component"
    IDS_COLUMN_VERSION = 291,   // "Version"
    IDS_COLUMN_STATUS = 292,    // "Status"

    // The command line: its usage, what is wrong with one, and what the console mode says before it starts.
    IDS_USAGE = 300,                  // the text of --help
    IDS_BAD_COMMAND_LINE = 301,       // "QuillornaCC: %1 (see QuillornaCC --help)"
    IDS_NO_APP_DIRECTORY = 302,       // the executable's directory is unknown
    IDS_UNSIGNED_LISTS_WARNING = 303, // a build without vendor keys accepts unsigned lists
    IDS_NO_SEARCH_PATH = 304,         // the library search path cannot be restricted
    IDS_WINDOW_NOT_LOADED = 305,      // the desktop module failed to load; %1 its path, %2 the system's code
    IDS_NO_WINDOW = 306,              // a build without the window was asked for it
    IDS_LISTS_UNSIGNED = 307,         // --version: the build reads lists unsigned
    IDS_LISTS_SIGNED = 308,           // --version: %1 is the number of vendor keys
    IDS_SWITCH_TWICE = 310,           // "%1 is given twice"
    IDS_SWITCH_NEEDS_VALUE = 311,     // "%1 needs a value"
    IDS_BAD_SERVER = 312,             // --server's value is not a bare server; %1 is the value
    IDS_UNKNOWN_SWITCH = 313,         // "unknown switch %1"
    IDS_SWITCH_ALONE = 314,           // "%1 stands alone"
    IDS_CHECK_AND_UPDATE = 315,       // "--check and --update exclude each other"
    IDS_NEEDS_CHECK_OR_UPDATE = 316,  // "%1 needs --check or --update"
    IDS_QUIET_AND_VERBOSE = 317,      // "--quiet and --verbose exclude each other"
    IDS_CONSOLE_NO_DOCUMENT = 318,    // "--check and --update take no document"

    // What an update check tells of a component it installed that detection then does not find current.
    IDS_INSTALLED_VERSION_READS = 319, // "installed, but its version still reads %1"
    IDS_INSTALLED_NO_VERSION = 320,    // no version of it can be found

    // The administrators' policy.
    IDS_UPDATES_DISABLED_BY_POLICY = 340, // the check shows the statuses but downloads and installs nothing
    IDS_POLICY_APPLIES = 341,             // console: "QuillornaCC: policy applies: %1", %1 one value
    IDS_POLICY_IGNORED = 342,             // console: "QuillornaCC: %1", %1 why a policy value was ignored

    // Rights the user lacks.
    IDS_CHECK_NEEDS_RIGHTS = 343,  // the check was not run: %1 is the list folder the user may not write
    IDS_UPDATES_NEED_RIGHTS = 344, // %1: one line per component not installed for want of a right
    IDS_NEEDS_FOLDER_RIGHT = 345,  // a component's reason: %1 the folder the user may not write
    IDS_NEEDS_KEY_RIGHT = 346,     // a component's reason: %1 the registry key the user may not change

    // The document template's string: the main window's caption, then the document type's names.
    IDR_MAINFRAME = 128,

    // The framework's own texts.
    AFX_IDS_APP_TITLE = 57344,          // "zarn", the application's name
    AFX_IDS_IDLEMESSAGE = 57345,        // "Ready", the status bar's idle text
    ID_INDICATOR_CAPS = 59137,          // "CAP"
    ID_INDICATOR_NUM = 59138,           // "NUM"
    ID_INDICATOR_SCRL = 59139,          // "SCRL"
    AFX_IDP_FAILED_TO_OPEN_DOC = 61697, // the document named on the command line cannot be opened

    // Menu prompts: the status bar's text, then after a line break the tooltip's.
    IDS_PROMPT_ABOUT = 57664,      // "&About ..."
    IDS_PROMPT_STATUS_BAR = 59393, // "&Status Bar"
};

} // namespace zarn
