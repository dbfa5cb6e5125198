#include "platform/FileSystem.h"

#include "WindowsHeaders.h"

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

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Calls `fill(buffer, size)`, which returns what the Win32 "A" functions return (the length without the
// terminator when it fits, else the size needed with it, 0 on failure), with a buffer grown until the answer fits.
template <typename Fill> std::optional<std::string> GrowingBuffer(Fill fill) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return std::nullopt;
        }
        if (n < buffer.size()) {
            return std::string(buffer.data(), n);
        }
        buffer.resize(n + 1);
    }
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

bool CreateDirectoryOne(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> LongPathName(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    return GrowingBuffer([&path](char* buffer, DWORD size) { return ::GetLongPathNameA(path.c_str(), buffer, size); });
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    // Windows itself takes "." and ".." out of a path by its text before it looks at the disk; so does this.
    const std::optional<std::string> full = GrowingBuffer(
        [&path](char* buffer, DWORD size) { return ::GetFullPathNameA(path.c_str(), size, buffer, nullptr); });
    if (!full) {
        return std::nullopt;
    }
    std::string head = *full;
    std::vector<std::string> missing;
    while (::GetFileAttributesA(head.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        while (!head.empty() && IsSeparator(head.back())) {
            head.pop_back();
        }
        const size_t separator = head.find_last_of("\\/");
        if (separator == std::string::npos) {
            return std::nullopt;
        }
        missing.push_back(head.substr(separator + 1));
        head.resize(separator + 1);
    }
    // Opening the existing part follows its links and junctions; the handle then knows the real path.
    const UniqueHandle handle(::CreateFileA(head.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> real = GrowingBuffer([&handle](char* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleA(handle.get(), buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (!real) {
        return std::nullopt;
    }
    // The answer carries the "\\?\" prefix ("\\?\UNC\" for a share); the paths callers compare have none.
    if (real->starts_with("\\\\?\\UNC\\")) {
        real->replace(0, 8, "\\\\");
    } else if (real->starts_with("\\\\?\\")) {
        real->erase(0, 4);
    }
    std::string result = std::move(*real);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (it->empty()) {
            continue;
        }
        if (!IsSeparator(result.back())) {
            result += '\\';
        }
        result += *it;
    }
    return result;
}

bool RemoveFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

bool IsPathTooLongError(unsigned long code) {
    return code == ERROR_FILENAME_EXCED_RANGE;
}

unsigned long LastErrorCode() {
    return static_cast<unsigned long>(::GetLastError());
}

} // namespace zarn::platform
