// The one place that loads libraries and calls their entry points: components' DllRegisterServer and the design
// control's factory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zarn::platform {

class Library {
public:
    Library() = default;
    // Releases the library when one is loaded.
    ~Library();
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Takes the current directory and PATH out of the process's library search, so that no library a download
    // may have planted there is ever loaded in place of a system one (Windows; on POSIX nothing is searched
    // there). Call once at start, before any library is loaded. False when the system refuses.
    static bool RestrictSearchPath();
    // Loads the library at the absolute `path`, with its own dependencies resolved now (and on Windows searched
    // first in its own directory), releasing one loaded before. A relative path is refused: nothing is looked up
    // through a search path. Returns 0, or the system's code of the failure. Any thread.
    [[nodiscard]] unsigned long Load(const std::string& path);

    // Calls the export `name` as a COM server entry point (no arguments, an HRESULT back, the system's calling
    // convention for such exports) and returns its HRESULT; nullopt when nothing is loaded or there is no such
    // export. Runs the library's code on the calling thread.
    std::optional<std::int32_t> CallEntryPoint(const char* name) const;

    // A function of no particular type, which the caller casts back to the export's real signature.
    using Function = void (*)();

    // The export `name` as a function; null when nothing is loaded or there is no such export. Any thread.
    Function FindFunction(const char* name) const;
    // The export `name` of the library `library` that the process has already loaded (a system library such as
    // "user32.dll"), for functions that only newer systems have; null when that library is not loaded or lacks
    // the export. Loads nothing. Any thread.
    static Function FindLoadedFunction(const char* library, const char* name);

    bool IsLoaded() const { return m_handle != nullptr; }

private:
    void Release();

    void* m_handle = nullptr; // dlopen handle (POSIX) or HMODULE (Windows)
};

} // namespace zarn::platform
