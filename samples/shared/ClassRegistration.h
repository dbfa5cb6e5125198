// A COM class registration as the launcher reads it, written through the registry library.
#pragma once

#include "platform/RegistryApi.h"

#include <filesystem>
#include <string>

// <windows.h> names its window-class function RegisterClass too, as a macro for its "A" or "W" form.
#undef RegisterClass

namespace quillorna {

struct ClassRegistration {
    const char* classId;        // without braces
    const char* name;           // the class's and the ProgID's display name
    const char* progId;         // "Vendor.Thing.1"
    std::string serverPath;     // absolute path of the file whose version stands for the class (RegistryText)
    const char* threadingModel; // "Apartment", "Both", ...
};

// Writes HKEY_CLASSES_ROOT\CLSID\{id} (name), its InprocServer32 (server path, ThreadingModel) and ProgID, and the
// ProgID key (name, CLSID). Returns ERROR_SUCCESS, or the first registry call's error code.
LONG RegisterClass(const ClassRegistration& entry);

// Deletes HKEY_CLASSES_ROOT\CLSID\{id} and the ProgID key, each with everything below it; a key already gone is
// no failure. Returns ERROR_SUCCESS, or the first registry call's error code.
LONG RemoveClass(const char* classId, const char* progId);

// Sets the string value `valueName` (nullptr: the default value) of `root`\`subKey`, creating the key.
// Returns ERROR_SUCCESS or the registry's error code.
LONG SetStringValue(HKEY root, const std::string& subKey, const char* valueName, const std::string& value);

// `path` as the registry's single-byte functions take it: in the ANSI code page on Windows, where the file
// system's names are UTF-16, and as its bytes elsewhere. Empty when the code page cannot spell it.
std::string RegistryText(const std::filesystem::path& path);

} // namespace quillorna
