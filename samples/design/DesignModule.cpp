#include "samples/design/DesignModule.h"

#include <fstream>
#include <iterator>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <vector>
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quillorna {

#ifdef _WIN32
std::filesystem::path DesignModuleFile() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&DesignModuleFile), &self)) {
        return {};
    }
    // A path longer than the buffer comes back cut off (with the buffer's full length): try a larger one.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetModuleFileNameW(self, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            return std::filesystem::path(std::wstring(buffer.data(), length));
        }
    }
    return {};
}
#else
std::filesystem::path DesignModuleFile() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&DesignModuleFile), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
    return error ? std::filesystem::path() : path.lexically_normal();
}
#endif

std::string StartDocument() {
    const std::filesystem::path self = DesignModuleFile();
    if (self.empty()) {
        return {};
    }
    std::ifstream file(self.parent_path().parent_path() / "temp" / "startfile.txt", std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : std::string();
}

} // namespace quillorna
