#include "platform/File.h"

#include <utility>
#include <windows.h>

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

bool File::OpenForWriting(const std::string& path, unsigned long& errorCode) {
    unsigned long ignored = 0;
    Close(ignored);
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errorCode = LastError();
        return false;
    }
    m_fd = AsFd(handle);
    return true;
}

bool File::CreateBeside(const std::string& path, std::string& createdPath, unsigned long& errorCode) {
    unsigned long ignored = 0;
    Close(ignored);
    // CREATE_NEW makes the name ours; the attributes of an existing target are not copied on Windows.
    // Sharing neither writing nor deleting holds the file while it is open: RemoveUnheld's DeleteFileA
    // fails with a sharing violation until the handle is closed, by us or by the system when we die.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = path + UniqueFileSuffix();
        const HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            errorCode = LastError();
            return false;
        }
        m_fd = AsFd(handle);
        createdPath = std::move(candidate);
        return true;
    }
    errorCode = ERROR_FILE_EXISTS;
    return false;
}

bool File::Resize(std::uint64_t length, unsigned long& errorCode) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(AsHandle(m_fd), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(AsHandle(m_fd))) {
        errorCode = LastError();
        return false;
    }
    return true;
}

bool File::Seek(std::uint64_t offset, unsigned long& errorCode) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(AsHandle(m_fd), position, nullptr, FILE_BEGIN)) {
        errorCode = LastError();
        return false;
    }
    return true;
}

bool File::Write(const char* data, std::size_t n, unsigned long& errorCode) {
    while (n > 0) {
        const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!::WriteFile(AsHandle(m_fd), data, chunk, &written, nullptr)) {
            errorCode = LastError();
            return false;
        }
        data += written;
        n -= written;
    }
    return true;
}

bool File::Close(unsigned long& errorCode) {
    if (m_fd < 0) {
        return true;
    }
    if (!::CloseHandle(AsHandle(std::exchange(m_fd, -1)))) {
        errorCode = LastError();
        return false;
    }
    return true;
}

bool File::RemoveUnheld(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

bool ReplaceFile(const std::string& from, const std::string& to, unsigned long& errorCode) {
    if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        errorCode = LastError();
        return false;
    }
    return true;
}

} // namespace zarn::platform
