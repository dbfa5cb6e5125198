// What the design control's library knows about itself: its own file, and how its exports are marked.
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#define QUILLORNA_DESIGN_EXPORT extern "C" __declspec(dllexport)
#else
#define QUILLORNA_DESIGN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace quillorna {

// This library's own file, as it was loaded (absolute); empty when the system cannot tell.
std::filesystem::path DesignModuleFile();

// The document the launcher hands over: the contents of the start file in temp/ of the application directory, the
// folder above this library's own, in the system's 8-bit code page. Empty when there is none.
std::string StartDocument();

} // namespace quillorna
