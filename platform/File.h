// A file open for writing, owned: closed when the object goes. Errors come back as the system's code.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace zarn::platform {

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` for writing at its start, creating it when missing and keeping its content.
    // Returns 0, or the system's code when it cannot. Any thread.
    [[nodiscard]] unsigned long OpenForWriting(const std::string& path);
    // Creates a new, empty file named `path` + a unique suffix in the same directory, with the
    // permissions of `path` when that exists; its name goes to `createdPath`. The file is held for as
    // long as it is open, so that no RemoveStaleBeside takes it away. Returns 0 or the system's code.
    [[nodiscard]] unsigned long CreateBeside(const std::string& path, std::string& createdPath);
    // Sets the length (cutting or extending with zeros). Returns 0 or the system's code.
    [[nodiscard]] unsigned long Resize(std::uint64_t length);
    // Moves the write position to `offset` from the start. Returns 0 or the system's code.
    [[nodiscard]] unsigned long Seek(std::uint64_t offset);
    // Writes all n bytes at the write position. Returns 0 or the system's code (the position is then unknown).
    [[nodiscard]] unsigned long Write(const char* data, std::size_t n);
    // Writes what was written through to the disk, so that it survives a power loss. Returns 0 or the system's
    // code.
    [[nodiscard]] unsigned long Sync();
    // Closes. Returns 0, or the system's code when the close reported a failure (the file is closed anyway).
    unsigned long Close();

    bool IsOpen() const { return m_fd >= 0; }

    // Deletes the files that CreateBeside made in `path`'s directory (for any target, in any process) that
    // were last written `minAge` or more ago and that no open File holds: what a process that died while
    // writing left behind. Sweeps each directory once per process; later calls for it return at once.
    // Failures leave the file where it is. Any thread.
    static void RemoveStaleBeside(const std::string& path, std::chrono::seconds minAge);
    // As RemoveStaleBeside, for the files in `directory`, at every call. Any thread.
    static void RemoveStaleIn(const std::string& directory, std::chrono::seconds minAge);
    // Deletes `path` unless a File that CreateBeside opened (in any process) holds it. False when it
    // is held or could not be deleted. Any thread.
    static bool RemoveUnheld(const std::string& path);

private:
    // Creates files beneath a held directory and hands them over as File objects.
    friend class DirectoryHandle;

    std::intptr_t m_fd = -1; // file descriptor (POSIX) or handle (Windows); -1 when closed
};

// A name suffix ".zarn-" and six letters or digits, for a new file beside another one. Any thread.
std::string UniqueFileSuffix();

// The whole file's bytes; nullopt when it cannot be read or holds more than `maxBytes`. Any thread.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

// Renames `from` over `to` in one step (an existing `to` is replaced). Returns 0 or the system's code.
[[nodiscard]] unsigned long ReplaceFile(const std::string& from, const std::string& to);

} // namespace zarn::platform
