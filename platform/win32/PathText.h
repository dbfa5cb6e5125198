// Paths for the Win32 "W" functions: absolute or not, and in UTF-16, read in the ANSI code page as every other
// path of the launcher is; in the "\\?\" form, the only one that the file functions take beyond MAX_PATH.
#pragma once

#include "WindowsHeaders.h"

#include <string>
#include <string_view>
#include <vector>

namespace zarn::platform {

// "C:\..." or "\\server\...": any other path the system would complete from the current directory or a search
// path. Never fails.
inline bool IsAbsolutePath(const std::string& path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && path[1] == ':' && separator(path[2])) {
        return true;
    }
    return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

// `text` in UTF-16 with its terminator; false (GetLastError says why) when it is not valid in the code page.
inline bool WidenAnsi(const std::string& text, std::vector<wchar_t>& wide) {
    const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    if (n <= 0) {
        return false;
    }
    wide.assign(static_cast<size_t>(n), L'\0');
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.c_str(), -1, wide.data(), n) == n;
}

// `wide` (without its terminator) in the code page; false (GetLastError says why) when a character has no exact
// form there, which a path must never be given in place of its own.
inline bool NarrowAnsi(std::wstring_view wide, std::string& text) {
    text.clear();
    if (wide.empty()) {
        return true;
    }
    BOOL lossy = FALSE;
    const int length = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) {
        if (lossy) {
            ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        }
        return false;
    }
    text.assign(static_cast<size_t>(n), '\0');
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), n, nullptr, &lossy) ==
               n &&
           !lossy;
}

// `path` as the file functions take it at any length, with its terminator: made absolute and normalised as the
// system does every ordinary path ("/" read as "\", "." and ".." segments taken out, trailing dots and blanks of
// a segment dropped), then given the "\\?\" prefix ("\\?\UNC\" for a share), under which the system takes the
// path as it stands and with no MAX_PATH limit. A path that has the prefix already, or names a device ("\\.\"),
// is only widened. False (GetLastError says why) when it is not valid in the code page or cannot be made absolute.
inline bool WideLongPath(const std::string& path, std::vector<wchar_t>& wide) {
    std::vector<wchar_t> text;
    if (!WidenAnsi(path, text)) {
        return false;
    }
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
        wide = std::move(text);
        return true;
    }
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFullPathNameW(text.data(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) {
            return false;
        }
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n + 1);
    }
    const std::wstring_view absolute(full.data(), full.size());
    std::wstring result = absolute.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + std::wstring(absolute.substr(2))
                                                        : L"\\\\?\\" + std::wstring(absolute);
    wide.assign(result.begin(), result.end());
    wide.push_back(L'\0');
    return true;
}

// `path` without the "\\?\" prefix that the system's answers carry ("\\?\UNC\server" back to "\\server"): the
// form of the paths that callers compare with their own. Never fails.
inline std::wstring_view WithoutLongPrefix(std::wstring_view path, std::wstring& storage) {
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        storage = L"\\\\" + std::wstring(path.substr(8));
        return storage;
    }
    if (path.starts_with(L"\\\\?\\")) {
        return path.substr(4);
    }
    return path;
}

} // namespace zarn::platform
