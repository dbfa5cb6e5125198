#include "download/TargetFile.h"

#include "platform/FileSystem.h"

#include <charconv>
#include <filesystem>
#include <fstream>

namespace zarn {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
// A slow transfer still shows its progress on disk this often.
constexpr std::chrono::seconds kFlushInterval{1};
// A temporary file nobody holds and nobody wrote for this long was left by a process that died.
constexpr std::chrono::seconds kStaleAge{60};
constexpr std::string_view kPartialSuffix = ".zarn-partial";
constexpr std::string_view kRecordSuffix = ".rec";
// A record is a few short lines; anything longer is not one.
constexpr std::uint64_t kRecordLimit = 16 * 1024;

std::optional<std::uint64_t> ParseCount(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<TargetFile::Record> ReadRecord(const std::string& partialPath) {
    const auto text = platform::ReadWholeFile(partialPath + std::string(kRecordSuffix), kRecordLimit);
    return text ? TargetFile::ParseRecord(*text) : std::nullopt;
}
} // namespace

std::string TargetFile::PartialPathOf(const std::string& path) {
    return path + std::string(kPartialSuffix);
}

std::optional<TargetFile::Origin> TargetFile::OriginOf(const std::string& url, const std::optional<std::uint64_t>& size,
                                                       const std::string& sha256) {
    if (!size || sha256.empty()) {
        return std::nullopt;
    }
    return Origin{url, *size, sha256};
}

std::string TargetFile::FormatRecord(const Record& record) {
    // The count has a fixed width, so that the record keeps its length as it grows: rewritten in place with one
    // write, it is never seen cut short, whenever the process dies.
    std::string held = std::to_string(record.held);
    held.insert(0, held.size() < 20 ? 20 - held.size() : 0, '0');
    return "url=" + record.origin.url + "\nvalidator=" + record.validator +
           "\nsize=" + std::to_string(record.origin.size) + "\nsha256=" + record.origin.sha256 + "\nheld=" + held +
           "\n";
}

std::optional<TargetFile::Record> TargetFile::ParseRecord(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            return std::nullopt; // cut short while being written
        }
        const std::string line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || !fields.emplace(line.substr(0, equals), line.substr(equals + 1)).second) {
            return std::nullopt;
        }
        start = end + 1;
    }
    if (fields.size() != 5) {
        return std::nullopt;
    }
    const auto size = ParseCount(fields["size"]);
    const auto held = ParseCount(fields["held"]);
    if (fields["url"].empty() || fields["validator"].empty() || fields["sha256"].size() != 64 || !size || !held ||
        *held > *size) {
        return std::nullopt;
    }
    return Record{{fields["url"], *size, fields["sha256"]}, fields["validator"], *held};
}

TargetFile::~TargetFile() {
    Discard();
}

TargetFile::OpenResult TargetFile::Open(const std::string& path, std::uint64_t resumeOffset, const Origin* keep) {
    Discard();
    m_validator.clear();
    m_heldAtOpen = 0;
    m_onDisk = 0;
    platform::File::RemoveStaleBeside(path, kStaleAge);
    m_path = path;
    m_pending.reserve(kBlockSize);
    m_lastFlush = std::chrono::steady_clock::now();
    if (keep && resumeOffset == 0) {
        m_partialPath = PartialPathOf(path);
        m_origin = *keep;
        const std::optional<Record> record = ReadRecord(m_partialPath);
        std::error_code error;
        const std::uint64_t length = std::filesystem::file_size(m_partialPath, error);
        // The record is written after the bytes it counts, so a file shorter than it says lost them (a power cut).
        const bool continues = record && record->origin == *keep && !error && length >= record->held;
        const std::uint64_t held = continues ? record->held : 0;
        m_validator = continues ? record->validator : std::string();
        unsigned long code = m_file.OpenForWriting(m_partialPath);
        if (code != 0) {
            m_partialPath.clear();
            return {IDS_OPEN_FILE_FAILED, code};
        }
        // Bytes past those the record counts came after its last write and are not vouched for.
        code = m_file.Resize(held);
        if (code == 0) {
            code = m_file.Seek(held);
        }
        if (code == 0 && !continues) {
            code = WriteRecord();
        }
        if (code != 0) {
            m_file.Close();
            RemovePartial();
            return {IDS_SEEK_FILE_FAILED, code};
        }
        m_heldAtOpen = held;
        m_onDisk = held;
        return {};
    }
    if (resumeOffset == 0) {
        // The previous target stays untouched until the whole body is in the temporary file.
        if (const unsigned long code = m_file.CreateBeside(path, m_tempPath); code != 0) {
            return {IDS_OPEN_FILE_FAILED, code};
        }
        return {};
    }
    if (const unsigned long code = m_file.OpenForWriting(path); code != 0) {
        return {IDS_OPEN_FILE_FAILED, code};
    }
    // Keep exactly the bytes before the offset: a longer file is cut, a shorter or new one is padded.
    unsigned long code = m_file.Resize(resumeOffset);
    if (code == 0) {
        code = m_file.Seek(resumeOffset);
    }
    if (code != 0) {
        m_file.Close();
        return {IDS_SEEK_FILE_FAILED, code};
    }
    return {};
}

unsigned long TargetFile::Write(const char* data, std::size_t n) {
    if (m_pending.size() + n > kBlockSize) {
        if (const unsigned long code = Flush(); code != 0) {
            return code;
        }
    }
    if (n >= kBlockSize) {
        m_lastFlush = std::chrono::steady_clock::now();
        const unsigned long code = m_file.Write(data, n);
        if (code != 0) {
            // Some of them may be on disk, but the record does not count them: the next run cuts them off.
            return code;
        }
        m_onDisk += n;
        return m_partialPath.empty() ? 0 : WriteRecord();
    }
    m_pending.insert(m_pending.end(), data, data + n);
    return FlushIfDue();
}

unsigned long TargetFile::FlushIfDue() {
    return std::chrono::steady_clock::now() - m_lastFlush >= kFlushInterval ? Flush() : 0;
}

unsigned long TargetFile::Flush() {
    m_lastFlush = std::chrono::steady_clock::now();
    if (m_pending.empty()) {
        return 0;
    }
    const unsigned long code = m_file.Write(m_pending.data(), m_pending.size());
    if (code == 0) {
        m_onDisk += m_pending.size();
    }
    m_pending.clear();
    // The record follows the bytes, so that it never counts one that is not on disk.
    return code != 0 || m_partialPath.empty() ? code : WriteRecord();
}

unsigned long TargetFile::WriteRecord() {
    const std::string recordPath = m_partialPath + std::string(kRecordSuffix);
    if (m_validator.empty()) {
        platform::RemoveFile(recordPath);
        return 0;
    }
    const std::string text = FormatRecord({m_origin, m_validator, m_onDisk});
    platform::File record;
    unsigned long code = record.OpenForWriting(recordPath);
    if (code == 0) {
        code = record.Write(text.data(), text.size());
    }
    // Only a record of another answer is shorter than the one before; a tail left by a death here fails to parse,
    // which means starting over, as that answer's download would anyway.
    if (code == 0) {
        code = record.Resize(text.size());
    }
    const unsigned long closeCode = record.IsOpen() ? record.Close() : 0;
    return code != 0 ? code : closeCode;
}

void TargetFile::SetValidator(const std::string& validator) {
    m_validator = validator;
}

bool TargetFile::ReadHeld(const std::function<bool(const char*, std::size_t)>& take) const {
    std::ifstream in(m_partialPath, std::ios::binary);
    std::vector<char> piece(64 * 1024);
    for (std::uint64_t left = m_heldAtOpen; left > 0;) {
        const auto want = static_cast<std::streamsize>(std::min<std::uint64_t>(left, piece.size()));
        if (!in.read(piece.data(), want) || !take(piece.data(), static_cast<std::size_t>(want))) {
            return false;
        }
        left -= static_cast<std::uint64_t>(want);
    }
    return true;
}

void TargetFile::RemovePartial() {
    platform::RemoveFile(m_partialPath + std::string(kRecordSuffix));
    platform::RemoveFile(m_partialPath);
    m_partialPath.clear();
}

unsigned long TargetFile::Restart() {
    m_pending.clear();
    if (!m_partialPath.empty()) {
        // Nothing held fits the new answer; its own validator comes with it.
        m_validator.clear();
        m_onDisk = 0;
        m_heldAtOpen = 0;
        unsigned long code = m_file.Resize(0);
        if (code == 0) {
            code = m_file.Seek(0);
        }
        return code != 0 ? code : WriteRecord();
    }
    if (m_tempPath.empty()) {
        // The server sends the whole file after all: the resumed target keeps its bytes until that
        // whole file has arrived, exactly as for a download from the start.
        m_file.Close();
        return m_file.CreateBeside(m_path, m_tempPath);
    }
    const unsigned long code = m_file.Resize(0);
    return code != 0 ? code : m_file.Seek(0);
}

unsigned long TargetFile::Commit() {
    unsigned long code = Flush();
    if (code == 0) {
        code = m_file.Close();
    }
    if (code != 0) {
        Discard();
        return code;
    }
    if (!m_partialPath.empty()) {
        if (code = platform::ReplaceFile(m_partialPath, m_path); code != 0) {
            Drop();
            return code;
        }
        platform::RemoveFile(m_partialPath + std::string(kRecordSuffix));
        m_partialPath.clear();
        return 0;
    }
    if (m_tempPath.empty()) {
        return 0;
    }
    if (code = platform::ReplaceFile(m_tempPath, m_path); code != 0) {
        Discard();
        return code;
    }
    m_tempPath.clear();
    return 0;
}

void TargetFile::RemoveLeftoversIn(const std::string& directory, const std::map<std::string, Origin>& kept) {
    // Only a download that is just being created can be unheld and still in use, and none can be outside the lock
    // this caller holds: every unheld temporary is a leftover, whatever its age.
    platform::File::RemoveStaleIn(directory, std::chrono::seconds{0});
    namespace fs = std::filesystem;
    std::vector<std::string> stale;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(directory), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const bool isRecord = name.ends_with(std::string(kPartialSuffix) + std::string(kRecordSuffix));
        if (!isRecord && !name.ends_with(kPartialSuffix)) {
            continue;
        }
        const std::string partial =
            isRecord ? it->path().string().substr(0, it->path().string().size() - kRecordSuffix.size())
                     : it->path().string();
        const std::string partialName = fs::path(partial).filename().string();
        const auto named = kept.find(partialName.substr(0, partialName.size() - kPartialSuffix.size()));
        const std::optional<Record> record = ReadRecord(partial);
        if (named == kept.end() || !record || record->origin != named->second) {
            stale.push_back(it->path().string());
        }
    }
    for (const std::string& path : stale) {
        platform::RemoveFile(path);
    }
}

void TargetFile::Discard() {
    if (!m_partialPath.empty()) {
        // What arrived stays with its record, for the next download of the same file to continue.
        const bool kept = m_file.IsOpen() && Flush() == 0 && m_file.Close() == 0 && !m_validator.empty() &&
                          m_onDisk > 0 && WriteRecord() == 0;
        m_pending.clear();
        m_file.Close();
        if (kept) {
            m_partialPath.clear();
        } else {
            RemovePartial();
        }
        return;
    }
    if (m_tempPath.empty() && m_file.IsOpen()) {
        // A resumed download keeps what arrived, so that it can be resumed again from there.
        Flush();
    }
    m_pending.clear();
    m_file.Close();
    if (!m_tempPath.empty()) {
        platform::RemoveFile(m_tempPath);
        m_tempPath.clear();
    }
}

void TargetFile::Drop() {
    m_validator.clear();
    Discard();
}

} // namespace zarn
