// A file open for writing, owned: closed when the object goes. Errors come back as the system's code.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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
    // False with the system's code when it cannot. Any thread.
    bool OpenForWriting(const std::string& path, unsigned long& errorCode);
    // Creates a new, empty file named `path` + a unique suffix in the same directory, with the
    // permissions of `path` when that exists; its name goes to `createdPath`. The file is held for as
    // long as it is open, so that no RemoveStaleBeside takes it away. False with the code.
    bool CreateBeside(const std::string& path, std::string& createdPath, unsigned long& errorCode);
    // Sets the length (cutting or extending with zeros). False with the system's code.
    bool Resize(std::uint64_t length, unsigned long& errorCode);
    // Moves the write position to `offset` from the start. False with the system's code.
    bool Seek(std::uint64_t offset, unsigned long& errorCode);
    // Writes all n bytes at the write position. False with the system's code (the position is then unknown).
    bool Write(const char* data, std::size_t n, unsigned long& errorCode);
    // Closes; false with the system's code when the close reported a failure (the file is closed anyway).
    bool Close(unsigned long& errorCode);

    bool IsOpen() const { return m_fd >= 0; }

    // Deletes the files that CreateBeside made for `path` (in any process) that were last written
    // `minAge` or more ago and that no open File holds: what a process that died while writing left
    // behind. Failures leave the file where it is. Any thread.
    static void RemoveStaleBeside(const std::string& path, std::chrono::seconds minAge);
    // Deletes `path` unless a File that CreateBeside opened (in any process) holds it. False when it
    // is held or could not be deleted. Any thread.
    static bool RemoveUnheld(const std::string& path);

private:
    std::intptr_t m_fd = -1; // file descriptor (POSIX) or handle (Windows); -1 when closed
};

// A name suffix ".zarn-" and six letters or digits, for a new file beside another one. Any thread.
std::string UniqueFileSuffix();

// Renames `from` over `to` in one step (an existing `to` is replaced). False with the system's code.
bool ReplaceFile(const std::string& from, const std::string& to, unsigned long& errorCode);

} // namespace zarn::platform
