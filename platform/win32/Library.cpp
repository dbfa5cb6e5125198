#include "platform/Library.h"

#include "WindowsHeaders.h"
#include "platform/win32/PathText.h"

#include <vector>

namespace zarn::platform {

bool Library::RestrictSearchPath() {
    // The application directory, system32 and directories added explicitly: not the current directory or PATH.
    return ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != 0;
}

unsigned long Library::Load(const std::string& path) {
    Release();
    // LoadLibraryExW would look a relative name up through its search path.
    if (!IsAbsolutePath(path)) {
        return ERROR_BAD_PATHNAME;
    }
    // The loader takes paths within MAX_PATH only (unless a process opts into long paths, which the launcher does
    // not); a longer one is refused with the code that says so.
    if (path.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    std::vector<wchar_t> widePath;
    if (!WidenAnsi(path, widePath)) {
        return ::GetLastError();
    }
    // The altered search path finds the library's own dependencies in its directory, not the launcher's.
    HMODULE module = ::LoadLibraryExW(widePath.data(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        return ::GetLastError();
    }
    m_handle = module;
    return 0;
}

std::optional<std::int32_t> Library::CallEntryPoint(const char* name) const {
    if (m_handle == nullptr) {
        return std::nullopt;
    }
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(m_handle), name);
    if (proc == nullptr) {
        return std::nullopt;
    }
    // Through the generic function pointer type: GetProcAddress cannot know the export's real signature.
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(proc));
    return static_cast<std::int32_t>(entry());
}

Library::Function Library::FindFunction(const char* name) const {
    if (m_handle == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

Library::Function Library::FindLoadedFunction(const char* library, const char* name) {
    const HMODULE module = ::GetModuleHandleA(library);
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(::GetProcAddress(module, name));
}

void Library::Release() {
    if (m_handle != nullptr) {
        // A failed unload leaves the library mapped, which is harmless; there is nothing else to do about it.
        static_cast<void>(::FreeLibrary(static_cast<HMODULE>(m_handle)));
        m_handle = nullptr;
    }
}

} // namespace zarn::platform
