// The local file a download writes. A whole-file download goes to a temporary file beside the target,
// which replaces the target only at Commit; a failed or stopped download leaves the previous target
// exactly as it was. A download resumed by its caller (offset > 0) writes into the target in place; one that
// goes on after a cut connection (TransferBody's next attempt) keeps appending to the same temporary file.
// The temporary file is named after the target (platform::File::CreateBeside) and held while open;
// one left by a process that died is removed by the next Open of the same target once it has not
// been written for a minute. While data comes in, it reaches the disk at least about once a second.
#pragma once

#include "platform/File.h"
#include "res/StringIds.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
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

    // Removes stale temporary files of `path`, then opens for writing. UI thread.
    [[nodiscard]] OpenResult Open(const std::string& path, std::uint64_t resumeOffset);
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
    // Closes and throws away what this download wrote; the previous target stays as it was.
    void Discard();

    // Removes every temporary file of a download in `directory` that no open download holds, however young, at every
    // call. Only for a caller that knows that no download of another process can be starting there: the update
    // check, which holds the application directory's lock. UI thread.
    static void RemoveLeftoversIn(const std::string& directory);

    bool IsOpen() const { return m_file.IsOpen(); }
    const std::string& Path() const { return m_path; }

private:
    // Writes what Write collected. Returns 0 or the system's code.
    unsigned long Flush();

    std::string m_path;     // the target
    std::string m_tempPath; // empty when writing in place
    platform::File m_file;
    // Pieces of a body are small; one system call per piece costs more time than the network takes,
    // so they are collected here and written in blocks.
    std::vector<char> m_pending;
    std::chrono::steady_clock::time_point m_lastFlush;
};

} // namespace zarn
