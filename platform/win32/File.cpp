#include "platform/File.h"

#include "WindowsHeaders.h"
#include "platform/win32/PathText.h"

#include <utility>
#include <vector>

namespace zarn::platform {

namespace {

unsigned long LastError() {
    return static_cast<unsigned long>(::GetLastError());
}

HANDLE AsHandle(std::intptr_t fd) {
    return reinterpret_cast<HANDLE>(fd);
}

std::intptr_t AsFd(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

} // namespace

unsigned long File::OpenForWriting(const std::string& path) {
    Close();
    std::vector<wchar_t> widePath;
    if (!WideLongPath(path, widePath)) {
        return LastError();
    }
    const HANDLE handle = ::CreateFileW(widePath.data(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    m_fd = AsFd(handle);
    return 0;
}

unsigned long File::CreateBeside(const std::string& path, std::string& createdPath) {
    Close();
    // CREATE_NEW makes the name ours; the attributes of an existing target are not copied on Windows.
    // Sharing neither writing nor deleting holds the file while it is open: RemoveUnheld's DeleteFileW
    // fails with a sharing violation until the handle is closed, by us or by the system when we die.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = path + UniqueFileSuffix();
        std::vector<wchar_t> wideCandidate;
        if (!WideLongPath(candidate, wideCandidate)) {
            return LastError();
        }
        const HANDLE handle = ::CreateFileW(wideCandidate.data(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return LastError();
        }
        m_fd = AsFd(handle);
        createdPath = std::move(candidate);
        return 0;
    }
    return ERROR_FILE_EXISTS;
}

unsigned long File::Resize(std::uint64_t length) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(AsHandle(m_fd), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(AsHandle(m_fd))) {
        return LastError();
    }
    return 0;
}

unsigned long File::Seek(std::uint64_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(AsHandle(m_fd), position, nullptr, FILE_BEGIN)) {
        return LastError();
    }
    return 0;
}

unsigned long File::Write(const char* data, std::size_t n) {
    while (n > 0) {
        const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!::WriteFile(AsHandle(m_fd), data, chunk, &written, nullptr)) {
            return LastError();
        }
        data += written;
        n -= written;
    }
    return 0;
}

unsigned long File::Sync() {
    if (!::FlushFileBuffers(AsHandle(m_fd))) {
        return LastError();
    }
    return 0;
}

unsigned long File::Close() {
    if (m_fd < 0) {
        return 0;
    }
    if (!::CloseHandle(AsHandle(std::exchange(m_fd, -1)))) {
        return LastError();
    }
    return 0;
}

bool File::RemoveUnheld(const std::string& path) {
    std::vector<wchar_t> widePath;
    return WideLongPath(path, widePath) && ::DeleteFileW(widePath.data()) != 0;
}

unsigned long ReplaceFile(const std::string& from, const std::string& to) {
    std::vector<wchar_t> wideFrom;
    std::vector<wchar_t> wideTo;
    if (!WideLongPath(from, wideFrom) || !WideLongPath(to, wideTo)) {
        return LastError();
    }
    // Write-through: the call returns only once the rename is on disk, as a finished download must be.
    if (!::MoveFileExW(wideFrom.data(), wideTo.data(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return LastError();
    }
    return 0;
}

} // namespace zarn::platform
