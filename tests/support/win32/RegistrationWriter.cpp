// A component library for the registration capture tests: its DllRegisterServer writes a class under
// HKEY_CLASSES_ROOT\CLSID\{ZARN_CAPTURE_CLSID}, a key with values of several types under
// HKEY_LOCAL_MACHINE\Software\Ostrevant\CaptureTest, overwrites and adds values of the existing
// HKEY_CURRENT_USER\Software\Ostrevant\CaptureTest and makes an empty key below it, then returns the HRESULT
// ZARN_ENTRY_RESULT, chosen when it is built. Any write that fails returns E_UNEXPECTED at once.
#include "platform/win32/WindowsHeaders.h"

#include <cstring>

namespace {

bool Write(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool written = (name == nullptr && data == nullptr) ||
                         RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    return RegCloseKey(key) == ERROR_SUCCESS && written;
}

bool WriteText(HKEY root, const char* path, const char* name, const char* text) {
    return Write(root, path, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    const char* const server = "CLSID\\{" ZARN_CAPTURE_CLSID "}\\InprocServer32";
    const DWORD count = 7;
    const BYTE blob[] = {0x00, 0x01, 0x02, 0xff};
    const char list[] = "first\0second\0";
    const bool written =
        WriteText(HKEY_CLASSES_ROOT, server, nullptr, "capture-test.dll") &&
        WriteText(HKEY_CLASSES_ROOT, server, "ThreadingModel", "Apartment") &&
        WriteText(HKEY_CLASSES_ROOT, "CLSID\\{" ZARN_CAPTURE_CLSID "}\\ProgID", nullptr, "Quillorna.CaptureTest.1") &&
        WriteText(HKEY_LOCAL_MACHINE, "Software\\Ostrevant\\CaptureTest\\Component", "Version", "2.0.0.0") &&
        Write(HKEY_LOCAL_MACHINE, "Software\\Ostrevant\\CaptureTest\\Component", "Count", REG_DWORD, &count,
              sizeof(count)) &&
        Write(HKEY_LOCAL_MACHINE, "Software\\Ostrevant\\CaptureTest\\Component", "Blob", REG_BINARY, blob,
              sizeof(blob)) &&
        WriteText(HKEY_CURRENT_USER, "Software\\Ostrevant\\CaptureTest", "Shared", "after") &&
        Write(HKEY_CURRENT_USER, "Software\\Ostrevant\\CaptureTest", "Added", REG_MULTI_SZ, list, sizeof(list)) &&
        Write(HKEY_CURRENT_USER, "Software\\Ostrevant\\CaptureTest\\Empty", nullptr, REG_NONE, nullptr, 0);
    return written ? static_cast<HRESULT>(ZARN_ENTRY_RESULT) : E_UNEXPECTED;
}
