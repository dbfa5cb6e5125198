#include "res/win32/WideText.h"

#include "res/StringTable.h"

#include <windows.h>
// windows.h names its own string loader LoadString; ours is the string table's.
#undef LoadString

namespace zarn {

namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), length) !=
        length) {
        return {};
    }
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr) != length) {
        return {};
    }
    return narrow;
}

} // namespace

std::wstring WideFromCodePage(const std::string& text) {
    return ToWide(CP_ACP, 0, text);
}

std::wstring WideFromUtf8(const std::string& text) {
    return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text);
}

std::string CodePageFromWide(const std::wstring& text) {
    return FromWide(CP_ACP, text);
}

std::string Utf8FromWide(const std::wstring& text) {
    return FromWide(CP_UTF8, text);
}

std::wstring ResourceText(StringId id) {
    return WideFromUtf8(LoadString(id));
}

} // namespace zarn
