#include "platform/Library.h"

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace zarn::platform {

bool Library::RestrictSearchPath() {
    // Libraries are only ever loaded by absolute path, and the dynamic linker's own search is the system's.
    return true;
}

unsigned long Library::Load(const std::string& path) {
    Release();
    // A bare name would be searched for along the loader's paths, a relative path taken from the current directory.
    if (path.empty() || path.front() != '/') {
        return EINVAL;
    }
    // dlopen reports its failures only as text, so the usual causes (no such file, no permission) are found by
    // opening the file first; a file that opens but does not load is no loadable library.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return static_cast<unsigned long>(errno);
    }
    static_cast<void>(::close(fd));
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        return ENOEXEC;
    }
    return 0;
}

std::optional<std::int32_t> Library::CallEntryPoint(const char* name) const {
    if (m_handle == nullptr) {
        return std::nullopt;
    }
    using EntryPoint = std::int32_t (*)();
    void* const symbol = ::dlsym(m_handle, name);
    if (symbol == nullptr) {
        return std::nullopt;
    }
    return reinterpret_cast<EntryPoint>(symbol)();
}

Library::Function Library::FindFunction(const char* name) const {
    if (m_handle == nullptr) {
        return nullptr;
    }
    // POSIX guarantees that a symbol's address converts to a function pointer.
    return reinterpret_cast<Function>(::dlsym(m_handle, name));
}

Library::Function Library::FindLoadedFunction(const char* library, const char* name) {
    void* const handle = ::dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    const auto function = reinterpret_cast<Function>(::dlsym(handle, name));
    // Only the reference taken just now is dropped: the library stays loaded by whoever loaded it.
    static_cast<void>(::dlclose(handle));
    return function;
}

void Library::Release() {
    if (m_handle != nullptr) {
        // A failed unload leaves the library mapped, which is harmless; there is nothing else to do about it.
        static_cast<void>(::dlclose(m_handle));
        m_handle = nullptr;
    }
}

} // namespace zarn::platform
