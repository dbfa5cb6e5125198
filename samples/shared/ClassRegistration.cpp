#include "samples/shared/ClassRegistration.h"

namespace quillorna {

LONG SetStringValue(HKEY root, const std::string& subKey, const char* valueName, const std::string& value) {
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    // REG_SZ data counts its terminating NUL.
    result = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    const LONG closed = RegCloseKey(key);
    return result != ERROR_SUCCESS ? result : closed;
}

LONG RegisterClass(const ClassRegistration& entry) {
    const std::string clsidKey = std::string("CLSID\\{") + entry.classId + "}";
    const std::string braced = std::string("{") + entry.classId + "}";
    const struct {
        std::string subKey;
        const char* valueName;
        std::string value;
    } values[] = {
        {clsidKey, nullptr, entry.name},
        {clsidKey + "\\InprocServer32", nullptr, entry.serverPath},
        {clsidKey + "\\InprocServer32", "ThreadingModel", entry.threadingModel},
        {clsidKey + "\\ProgID", nullptr, entry.progId},
        {entry.progId, nullptr, entry.name},
        {std::string(entry.progId) + "\\CLSID", nullptr, braced},
    };
    for (const auto& value : values) {
        if (const LONG result = SetStringValue(HKEY_CLASSES_ROOT, value.subKey, value.valueName, value.value);
            result != ERROR_SUCCESS) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

LONG RemoveClass(const char* classId, const char* progId) {
    const std::string keys[] = {std::string("CLSID\\{") + classId + "}", progId};
    for (const std::string& key : keys) {
        if (const LONG result = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
            result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

#ifdef _WIN32
std::string RegistryText(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) {
        return {};
    }
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) {
        return {};
    }
    std::string text(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), text.data(),
                            size, nullptr, nullptr) != size) {
        return {};
    }
    return text;
}
#else
std::string RegistryText(const std::filesystem::path& path) {
    return path.string();
}
#endif

} // namespace quillorna
