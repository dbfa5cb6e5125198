#include "platform/DirectoryHandle.h"

#include "WindowsHeaders.h"
#include "platform/win32/PathText.h"

#include <utility>
#include <vector>

namespace zarn::platform {

namespace {

unsigned long LastError() {
    return static_cast<unsigned long>(::GetLastError());
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// A reparse point at the path is opened itself (FILE_FLAG_OPEN_REPARSE_POINT), never what it points to, and
// refused. Without delete sharing, nobody can rename or remove the directory (and put a link in its place)
// while it is held.
unsigned long OpenDirectory(const std::wstring& path, std::intptr_t& handle) {
    const HANDLE opened =
        ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    unsigned long code = 0;
    if (!::GetFileInformationByHandle(opened, &info)) {
        code = LastError();
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // What Windows itself answers for a reparse point it will not go through.
        code = ERROR_CANT_ACCESS_FILE;
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        code = ERROR_DIRECTORY;
    }
    if (code != 0) {
        ::CloseHandle(opened);
        return code;
    }
    handle = reinterpret_cast<std::intptr_t>(opened);
    return 0;
}

} // namespace

unsigned long DirectoryHandle::Close() {
    if (m_handle == -1 || ::CloseHandle(AsHandle(std::exchange(m_handle, -1)))) {
        return 0;
    }
    return LastError();
}

unsigned long DirectoryHandle::Open(const std::string& path) {
    Close();
    std::vector<wchar_t> wide;
    if (!WideLongPath(path, wide)) {
        return LastError();
    }
    std::wstring longForm(wide.data());
    // A trailing separator would double the one each name beneath is joined with; a drive's root keeps its own.
    while (longForm.back() == L'\\' && longForm[longForm.size() - 2] != L':') {
        longForm.pop_back();
    }
    if (const unsigned long code = OpenDirectory(longForm, m_handle); code != 0) {
        return code;
    }
    m_path = std::move(longForm);
    return 0;
}

unsigned long DirectoryHandle::OpenChild(const std::string& name, DirectoryHandle& child, bool& made) {
    std::vector<wchar_t> wide;
    if (!WidenAnsi(name, wide)) {
        made = false;
        return LastError();
    }
    std::wstring path = m_path + L"\\" + wide.data();
    made = ::CreateDirectoryW(path.c_str(), nullptr) != 0;
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return LastError();
    }
    child.Close();
    if (const unsigned long code = OpenDirectory(path, child.m_handle); code != 0) {
        return code;
    }
    child.m_path = std::move(path);
    return 0;
}

unsigned long DirectoryHandle::KindOf(const std::string& name, Kind& kind) const {
    std::vector<wchar_t> wide;
    if (!WidenAnsi(name, wide)) {
        return LastError();
    }
    // GetFileAttributesW does not follow a reparse point: it reports the point's own attributes.
    const DWORD attributes = ::GetFileAttributesW((m_path + L"\\" + wide.data()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            return code;
        }
        kind = Kind::Missing;
        return 0;
    }
    kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Kind::Link
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? Kind::Directory
                                                            : Kind::File;
    return 0;
}

unsigned long DirectoryHandle::CreateBeside(const std::string& name, File& file, std::string& createdName) {
    file.Close();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = name + UniqueFileSuffix();
        std::vector<wchar_t> wide;
        if (!WidenAnsi(candidate, wide)) {
            return LastError();
        }
        // As File::CreateBeside: CREATE_NEW makes the name ours (it also fails on a link of that name), and
        // sharing neither writing nor deleting holds the file while it is open.
        const HANDLE handle =
            ::CreateFileW((m_path + L"\\" + wide.data()).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return LastError();
        }
        file.m_fd = reinterpret_cast<std::intptr_t>(handle);
        createdName = std::move(candidate);
        return 0;
    }
    return ERROR_FILE_EXISTS;
}

unsigned long DirectoryHandle::Replace(const std::string& from, const std::string& to) {
    std::vector<wchar_t> wideFrom;
    std::vector<wchar_t> wideTo;
    if (!WidenAnsi(from, wideFrom) || !WidenAnsi(to, wideTo)) {
        return LastError();
    }
    if (!::MoveFileExW((m_path + L"\\" + wideFrom.data()).c_str(), (m_path + L"\\" + wideTo.data()).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return LastError();
    }
    return 0;
}

unsigned long DirectoryHandle::RemoveFile(const std::string& name) {
    std::vector<wchar_t> wide;
    if (!WidenAnsi(name, wide) || !::DeleteFileW((m_path + L"\\" + wide.data()).c_str())) {
        return LastError();
    }
    return 0;
}

unsigned long DirectoryHandle::RemoveEmptyDirectory(const std::string& name) {
    std::vector<wchar_t> wide;
    if (!WidenAnsi(name, wide) || !::RemoveDirectoryW((m_path + L"\\" + wide.data()).c_str())) {
        return LastError();
    }
    return 0;
}

unsigned long DirectoryHandle::FreeSpace(std::uint64_t& bytes) const {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW((m_path + L"\\").c_str(), &available, nullptr, nullptr)) {
        return LastError();
    }
    bytes = available.QuadPart;
    return 0;
}

} // namespace zarn::platform
