// A component library for the installation tests: its DllRegisterServer writes a class registration, a per-user
// key and a machine value, as a control's registration does, and then returns ZARN_ENTRY_RESULT.
#include "platform/RegistryApi.h"

#include <cstdint>
#include <cstring>

namespace {

bool SetText(HKEY root, const char* path, const char* name, const char* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool set = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
    const bool written = SetText(HKEY_CLASSES_ROOT, "CLSID\\{5A1E0000-0000-4000-8000-000000000001}\\InprocServer32",
                                 nullptr, "written.ocx") &&
                         SetText(HKEY_CURRENT_USER, "Software\\Vendor\\Control", "Version", "2.0") &&
                         SetText(HKEY_LOCAL_MACHINE, "Software\\Vendor", "Installed", "yes");
    return written ? static_cast<std::int32_t>(ZARN_ENTRY_RESULT) : static_cast<std::int32_t>(0x8000FFFFu);
}
