// Paths for the Win32 "W" functions: absolute or not, and in UTF-16, read in the ANSI code page as every other
// path of the launcher is.
#pragma once

#include "WindowsHeaders.h"

#include <string>
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

} // namespace zarn::platform
