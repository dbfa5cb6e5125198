#include "download/FileTransfer.h"

#include "download/TransferErrors.h"
#include "platform/FileSystem.h"

#include <fstream>
#include <vector>

namespace zarn {

namespace {

// ENOENT and ERROR_FILE_NOT_FOUND alike: the number a missing file carries on either system.
constexpr unsigned long kNoSuchFile = 2;
// Read in blocks far larger than a network piece: the body still writes and shows them 1,024 bytes at a time.
constexpr std::size_t kReadBlock = 64 * 1024;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

FileTransfer::FileTransfer(const TransferSettings& settings, TransferBody& body, TransferSink& sink)
    : m_settings(settings), m_body(body), m_sink(sink) {}

std::optional<std::string> FileTransfer::LocalPathOf(const std::string& hostName, const std::string& objectPath) {
    std::string decoded;
    for (std::size_t i = 0; i < objectPath.size(); ++i) {
        if (objectPath[i] != '%') {
            decoded += objectPath[i];
            continue;
        }
        const int high = i + 2 < objectPath.size() ? HexValue(objectPath[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(objectPath[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return platform::PathOfFileUrl(hostName, decoded);
}

TransferBody::Outcome FileTransfer::Run() {
    using Outcome = TransferBody::Outcome;
    const std::optional<std::string> path = LocalPathOf(m_settings.hostName, m_settings.objectPath);
    if (!path) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, transfer_error::kInvalidParameter);
        return Outcome::Failed;
    }
    // A folder opens as a stream on some systems; only a regular file is a body.
    if (!platform::FileExists(*path)) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, kNoSuchFile);
        return Outcome::Failed;
    }
    std::ifstream in(platform::ExtendedLengthPath(*path), std::ios::binary | std::ios::ate);
    if (!in) {
        m_body.Fail(IDS_DOWNLOAD_FAILED, platform::LastErrorCode());
        return Outcome::Failed;
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || !in.seekg(0)) {
        m_body.Fail(IDS_TRANSFER_FAILED, platform::LastErrorCode());
        return Outcome::Failed;
    }
    if (m_body.StopRequested()) {
        return Outcome::Stopped;
    }
    m_sink.StartAnimation();
    // The whole file each time: a file has no validator that would let an attempt continue what another left.
    TransferBody::Answer answer;
    answer.contentLength = static_cast<std::uint64_t>(size);
    if (!m_body.Start(200, answer)) {
        return Outcome::Failed;
    }
    std::vector<char> block(kReadBlock);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (in.bad()) {
            m_body.Fail(IDS_TRANSFER_FAILED, platform::LastErrorCode());
            return Outcome::Failed;
        }
        if (!m_body.Write(block.data(), got) || !m_body.FlushIfDue()) {
            return m_body.Stopped() ? Outcome::Stopped : Outcome::Failed;
        }
    }
    // A file that shrank while it was read ends short, as a body cut off does.
    if (!m_body.End(transfer_error::kConnectionAborted)) {
        return Outcome::Failed;
    }
    return m_body.StopRequested() ? Outcome::Stopped : Outcome::Done;
}

} // namespace zarn
