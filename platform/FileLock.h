// An exclusive lock on a file, for one process at a time: held until Unlock or the object goes, released by the
// system when the process dies, and never inherited by a program the process starts.
#pragma once

#include <cstdint>
#include <string>

namespace zarn::platform {

class FileLock {
public:
    enum class State {
        Held,   // this object holds the lock
        Busy,   // another holder has it (another process, or another FileLock of this one)
        Failed, // the file could not be opened or locked; `errorCode` says why
    };
    struct Result {
        State state = State::Failed;
        unsigned long errorCode = 0; // the system's code when Failed
    };

    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens `path` (creating an empty file when missing) and takes its lock without waiting; a lock already held
    // by this object is released first. Any thread.
    [[nodiscard]] Result TryLock(const std::string& path);
    // Releases the lock and closes the file; nothing when none is held. Any thread.
    void Unlock();

    bool IsHeld() const { return m_fd >= 0; }

private:
    std::intptr_t m_fd = -1; // file descriptor (POSIX) or handle (Windows); -1 when not held
};

} // namespace zarn::platform
