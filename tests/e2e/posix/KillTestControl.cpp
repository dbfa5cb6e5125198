// The "REG" component of the kill test, built in two versions: its DllRegisterServer registers its own class from
// wherever it was unpacked and the geometry library's class in the folder beside it (the kill test's "LIB"), and
// writes vendor keys that differ between the versions, so that a registry dump tells them apart.
#include "samples/shared/ClassRegistration.h"

#include <cstdint>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace {

// SELFREG_E_CLASS: the classes could not be registered.
constexpr std::int32_t kClassFailed = static_cast<std::int32_t>(0x80040201u);

std::filesystem::path ThisFile() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ThisFile), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return std::filesystem::absolute(info.dli_fname).lexically_normal();
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
    const std::filesystem::path self = ThisFile();
    if (self.empty()) {
        return kClassFailed;
    }
    const quillorna::ClassRegistration classes[] = {
        {KILL_CONTROL_CLSID, "Kill Test Control", "KillTest.Control.1", self.string(), "Apartment"},
        {KILL_GEOMETRY_CLSID, "Kill Test Geometry", "KillTest.Geometry.1",
         (self.parent_path().parent_path() / "killgeom" / "libkillgeom.so").string(), "Both"},
    };
    for (const auto& entry : classes) {
        if (quillorna::RegisterClass(entry) != ERROR_SUCCESS) {
            return kClassFailed;
        }
    }
    const bool written =
        quillorna::SetStringValue(HKEY_LOCAL_MACHINE, "Software\\KillTest", "Version", KILL_VERSION) == ERROR_SUCCESS &&
        quillorna::SetStringValue(HKEY_CURRENT_USER, std::string("Software\\KillTest\\Since ") + KILL_VERSION, "Made",
                                  "by the registration") == ERROR_SUCCESS;
    return written ? 0 : kClassFailed;
}
