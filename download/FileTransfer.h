// One attempt of a download whose URL is a file URL: the file read from the disk or a mounted share in place of a
// server's answer, so that TransferBody checks, writes and shows it exactly as it does a body from the network (the
// listed size and SHA-256, the target, the progress). Worker thread only.
#pragma once

#include "download/TransferBody.h"
#include "download/TransferSettings.h"
#include "download/TransferSink.h"

#include <optional>
#include <string>

namespace zarn {

class FileTransfer {
public:
    FileTransfer(const TransferSettings& settings, TransferBody& body, TransferSink& sink);

    // Reads the whole file into the body: Done, Stopped, or Failed with message 210 (no such file, or a URL that
    // names no file here) or 214 (a read error, or a file that shrank while it was read) and the system's number.
    TransferBody::Outcome Run();

    // The local path of a file URL's host and object path, its percent escapes decoded; nullopt when an escape is
    // malformed or decodes to a zero byte, or the system has no file of that name (platform::PathOfFileUrl). Any
    // thread.
    static std::optional<std::string> LocalPathOf(const std::string& hostName, const std::string& objectPath);

private:
    const TransferSettings& m_settings;
    TransferBody& m_body;
    TransferSink& m_sink;
};

} // namespace zarn
