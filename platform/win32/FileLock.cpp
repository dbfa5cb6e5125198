#include "platform/FileLock.h"

#include "WindowsHeaders.h"
#include "platform/win32/PathText.h"

#include <vector>

namespace zarn::platform {

FileLock::~FileLock() {
    Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
    Unlock();
    std::vector<wchar_t> wide;
    if (!WidenAnsi(path, wide)) {
        return {State::Failed, static_cast<unsigned long>(::GetLastError())};
    }
    // No security attributes: the handle is not inheritable, so an installer started during the check cannot keep
    // the lock alive after we end. Every sharing mode: the lock, not the open, is what excludes.
    const HANDLE handle =
        ::CreateFileW(wide.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {State::Failed, static_cast<unsigned long>(::GetLastError())};
    }
    OVERLAPPED start{};
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return {State::Busy, 0};
        }
        return {State::Failed, static_cast<unsigned long>(error)};
    }
    m_fd = reinterpret_cast<std::intptr_t>(handle);
    return {State::Held, 0};
}

void FileLock::Unlock() {
    if (m_fd < 0) {
        return;
    }
    // Closing the handle releases its lock; there is nothing to retry on an error.
    ::CloseHandle(reinterpret_cast<HANDLE>(m_fd));
    m_fd = -1;
}

} // namespace zarn::platform
