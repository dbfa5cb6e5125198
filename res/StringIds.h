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
