#include "platform/FileSystem.h"

#include "WindowsHeaders.h"
#include "platform/win32/PathText.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace zarn::platform {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Calls `fill(buffer, size)`, which returns what the Win32 "W" path functions return (the length without the
// terminator when it fits, else the size needed with it, 0 on failure), with a buffer grown until the answer fits.
template <typename Fill> std::optional<std::wstring> GrowingBuffer(Fill fill) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return std::nullopt;
        }
        if (n < buffer.size()) {
            return std::wstring(buffer.data(), n);
        }
        buffer.resize(n + 1);
    }
}

// The system's answer `wide` as the launcher's paths are written: without the long-path prefix, in the code page.
std::optional<std::string> AnsiPath(const std::wstring& wide) {
    std::wstring storage;
    std::string text;
    if (!NarrowAnsi(WithoutLongPrefix(wide, storage), text)) {
        return std::nullopt;
    }
    return text;
}

DWORD Attributes(const std::string& path) {
    std::vector<wchar_t> wide;
    return WideLongPath(path, wide) ? ::GetFileAttributesW(wide.data()) : INVALID_FILE_ATTRIBUTES;
}

} // namespace

char PathSeparator() {
    return '\\';
}

std::string ExecutablePath() {
    // GetModuleFileNameA cuts the name to the buffer without saying how much it needs, so grow until it fits.
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return std::string(buffer.data(), n);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string UserStateDirectory() {
    const char* local = std::getenv("LOCALAPPDATA");
    return local != nullptr ? std::string(local) : std::string();
}

std::string UserConfigDirectory() {
    const char* roaming = std::getenv("APPDATA");
    return roaming != nullptr ? std::string(roaming) : std::string();
}

bool CreateDirectoryOne(const std::string& path) {
    std::vector<wchar_t> wide;
    return WideLongPath(path, wide) && ::CreateDirectoryW(wide.data(), nullptr) != 0;
}

bool PathExists(const std::string& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> LongPathName(const std::string& path) {
    std::vector<wchar_t> wide;
    if (path.empty() || !WideLongPath(path, wide)) {
        return std::nullopt;
    }
    const std::optional<std::wstring> longName =
        GrowingBuffer([&wide](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(wide.data(), buffer, size); });
    return longName ? AnsiPath(*longName) : std::nullopt;
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    // The long form is already absolute, with "." and ".." taken out by its text as Windows itself does before
    // it looks at the disk.
    std::vector<wchar_t> wide;
    if (path.empty() || !WideLongPath(path, wide)) {
        return std::nullopt;
    }
    std::wstring head(wide.data());
    std::vector<std::wstring> below; // the last segments of `path`, deepest first, added back by name
    const auto up = [&head, &below] {
        while (!head.empty() && head.back() == L'\\') {
            head.pop_back();
        }
        const size_t separator = head.find_last_of(L'\\');
        if (separator == std::wstring::npos) {
            return false;
        }
        below.push_back(head.substr(separator + 1));
        head.resize(separator + 1);
        return true;
    };
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    while ((attributes = ::GetFileAttributesW(head.c_str())) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) || !up()) {
            return std::nullopt;
        }
    }
    std::optional<std::wstring> real;
    for (;;) {
        // Opening the existing part follows its links and junctions; the handle then knows the real path.
        const UniqueHandle handle(::CreateFileW(head.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (handle.get() == INVALID_HANDLE_VALUE) {
            return std::nullopt;
        }
        real = GrowingBuffer([&handle](wchar_t* buffer, DWORD size) {
            return ::GetFinalPathNameByHandleW(handle.get(), buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        });
        if (real) {
            break;
        }
        // Some systems (Wine) answer only within MAX_PATH. The real path is then its parent's followed by its
        // name, as long as it is no link or junction, which would lead elsewhere.
        const DWORD error = ::GetLastError();
        if ((error != ERROR_MORE_DATA && error != ERROR_FILENAME_EXCED_RANGE) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !up() ||
            (attributes = ::GetFileAttributesW(head.c_str())) == INVALID_FILE_ATTRIBUTES) {
            return std::nullopt;
        }
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        if (it->empty()) {
            continue;
        }
        if (real->back() != L'\\') {
            *real += L'\\';
        }
        *real += *it;
    }
    return AnsiPath(*real);
}

std::optional<std::string> PathOfFileUrl(const std::string& host, const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::string local;
    std::string rest;
    if (!host.empty() && host != "localhost") {
        local = "\\\\" + host;
        rest = path;
    } else if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[1])) &&
               (path[2] == ':' || path[2] == '|') && (path.size() == 3 || path[3] == '/')) {
        local = path.substr(1, 1) + ":";
        rest = path.size() == 3 ? std::string("/") : path.substr(3);
    } else {
        // A path without a drive would be taken on whatever drive is current.
        return std::nullopt;
    }
    // The long "\\?\" form that the file functions are given takes each separator as it stands: a doubled one (the
    // list's own path has them) would name an empty segment there.
    for (const char c : rest) {
        const bool separator = c == '/' || c == '\\';
        if (!separator) {
            local += c;
        } else if (local.back() != '\\') {
            local += '\\';
        }
    }
    return local;
}

std::string FileUrlOfPath(const std::string& path) {
    std::string url = "file://";
    // "\\host\share" keeps its host after the two slashes; "C:\dir" becomes "/C:/dir".
    std::string rest = path.starts_with("\\\\") ? path.substr(2) : "/" + path;
    for (const char c : rest) {
        url += c == '%' ? std::string("%25") : std::string(1, c == '\\' ? '/' : c);
    }
    return url;
}

bool RemoveFile(const std::string& path) {
    std::vector<wchar_t> wide;
    return WideLongPath(path, wide) && ::DeleteFileW(wide.data()) != 0;
}

unsigned long RenameFile(const std::string& from, const std::string& to) {
    std::vector<wchar_t> wideFrom;
    std::vector<wchar_t> wideTo;
    if (!WideLongPath(from, wideFrom) || !WideLongPath(to, wideTo)) {
        return ::GetLastError();
    }
    // No MOVEFILE_REPLACE_EXISTING: an existing `to` fails the call. Written through, as every step of an install
    // must be on disk before the next.
    if (!::MoveFileExW(wideFrom.data(), wideTo.data(), MOVEFILE_WRITE_THROUGH)) {
        return ::GetLastError();
    }
    return 0;
}

unsigned long SyncDirectory(const std::string&) {
    // The install's renames go through MoveFileExW with MOVEFILE_WRITE_THROUGH, and NTFS journals its directory
    // changes itself: there is nothing left to flush.
    return 0;
}

std::string ExtendedLengthPath(const std::string& path) {
    std::vector<wchar_t> wide;
    std::string text;
    if (!WideLongPath(path, wide) || !NarrowAnsi(std::wstring_view(wide.data(), wide.size() - 1), text)) {
        return path;
    }
    return text;
}

bool IsPathTooLongError(unsigned long code) {
    return code == ERROR_FILENAME_EXCED_RANGE;
}

bool IsAccessDeniedError(unsigned long code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT;
}

unsigned long LastErrorCode() {
    return static_cast<unsigned long>(::GetLastError());
}

} // namespace zarn::platform
