// The local file a download writes. A whole-file download goes to a temporary file beside the target,
// which replaces the target only at Commit; a failed or stopped download leaves the previous target
// exactly as it was. A download resumed by its caller (offset > 0) writes into the target in place; one that
// goes on after a cut connection (TransferBody's next attempt) keeps appending to the same temporary file.
// The temporary file is named after the target (platform::File::CreateBeside) and held while open;
// one left by a process that died is removed by the next Open of the same target once it has not
// been written for a minute. While data comes in, it reaches the disk at least about once a second.
// A component's download (one whose list gives its size and SHA-256) writes instead to a partial file of a fixed
// name beside the target, "<target>.zarn-partial", with a record beside it, "<target>.zarn-partial.rec": a few
// key=value lines naming the URL, the first answer's validator, the listed size and SHA-256 and the bytes on disk.
// A failed or stopped download keeps both, so that the next download of the same file, in this process or a later
// one, continues the bytes held; a record that does not parse or names another file means starting over.
#pragma once

#include "platform/File.h"
#include "res/StringIds.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

class TargetFile {
public:
    TargetFile() = default;
    ~TargetFile(); // discards an uncommitted temporary file
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // What Open reports: the string id of the failure's message (0 when open; 231: cannot open, 233:
    // cannot position at the offset) and the system's code of that failure.
    struct OpenResult {
        StringId messageId{};
        unsigned long systemCode = 0;
    };

    // What a component's download is, from the list; a partial download of it is kept beside the target.
    struct Origin {
        std::string url;
        std::uint64_t size = 0;
        std::string sha256;
        bool operator==(const Origin&) const = default;
    };

    // Removes stale temporary files of `path`, then opens for writing. With `keep` (and offset 0), opens the partial
    // file instead, holding the bytes its record vouches for when the record names the same origin, else emptied.
    // UI thread.
    [[nodiscard]] OpenResult Open(const std::string& path, std::uint64_t resumeOffset, const Origin* keep = nullptr);
    // The bytes of an earlier partial download that Open kept, and the validator of the answer they came from.
    std::uint64_t HeldBytes() const { return m_heldAtOpen; }
    const std::string& HeldValidator() const { return m_validator; }
    // Passes the kept bytes, from the start, to `take` while it returns true. False when they cannot all be read or
    // `take` declined some. Worker thread.
    bool ReadHeld(const std::function<bool(const char*, std::size_t)>& take) const;
    // The validator of the answer that started the file (empty: none, and then nothing is kept). Worker thread.
    void SetValidator(const std::string& validator);
    // Appends n bytes. Returns 0, or the system's code of a failure (which may belong to bytes appended
    // earlier: they are collected and written in blocks, or when a second has passed since the last
    // write to the disk). Worker thread.
    [[nodiscard]] unsigned long Write(const char* data, std::size_t n);
    // Empties what was written and starts again at offset 0 (a 200 answer to a ranged request); a
    // resumed download then goes to a temporary file like a whole one. Returns 0 or the system's code.
    [[nodiscard]] unsigned long Restart();
    // Closes and puts the file in place of the target. Returns 0 or the system's code of the failure,
    // after which what was written is thrown away.
    [[nodiscard]] unsigned long Commit();
    // Writes what was collected once a second has passed since the last write to the disk, so a slow
    // or stalled body still shows on disk. Returns 0 or the system's code. Worker thread.
    [[nodiscard]] unsigned long FlushIfDue();
    // Closes and throws away what this download wrote; the previous target stays as it was. A partial download with
    // a validator stays on disk with its record, to be continued.
    void Discard();
    // As Discard, and a partial download goes too (its bytes are not the listed file).
    void Drop();

    // Removes every temporary file of a download in `directory` that no open download holds, however young, at every
    // call, and every partial download there unless `kept` maps its target's file name to the origin its record names.
    // Only for a caller that knows that no download of another process can be starting there: the update check,
    // which holds the application directory's lock. UI thread.
    static void RemoveLeftoversIn(const std::string& directory, const std::map<std::string, Origin>& kept = {});

    // A record's text, and the record read back; nullopt when the text is not one.
    struct Record {
        Origin origin;
        std::string validator;
        std::uint64_t held = 0;
    };
    static std::string FormatRecord(const Record& record);
    static std::optional<Record> ParseRecord(const std::string& text);
    static std::string PartialPathOf(const std::string& path);
    // The origin of a download whose list gives both its size and SHA-256; none for any other, which keeps nothing.
    static std::optional<Origin> OriginOf(const std::string& url, const std::optional<std::uint64_t>& size,
                                          const std::string& sha256);

    bool IsOpen() const { return m_file.IsOpen(); }
    const std::string& Path() const { return m_path; }

private:
    // Writes what Write collected. Returns 0 or the system's code.
    unsigned long Flush();
    // Writes the partial download's record, or removes it when there is no validator. Returns 0 or the system's code.
    unsigned long WriteRecord();
    // Removes the partial file and its record.
    void RemovePartial();

    std::string m_path;     // the target
    std::string m_tempPath; // empty when writing in place
    // A kept partial download's; empty for any other.
    std::string m_partialPath;
    Origin m_origin;
    std::string m_validator;
    std::uint64_t m_heldAtOpen = 0;
    std::uint64_t m_onDisk = 0; // bytes of the partial file written to the disk
    platform::File m_file;
    // Pieces of a body are small; one system call per piece costs more time than the network takes,
    // so they are collected here and written in blocks.
    std::vector<char> m_pending;
    std::chrono::steady_clock::time_point m_lastFlush;
};

} // namespace zarn
