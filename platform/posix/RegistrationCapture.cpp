// The capture is one transaction of the registry store (ZarnRegBeginCapture): the component's DllRegisterServer
// runs in this process and links the same libzarn_registry, so its calls join it. The marker is written in that
// transaction too, and SQLite commits both in one step or, killed before, neither: there is never anything for
// Settle to undo.
#include "platform/RegistrationCapture.h"

#include "platform/RegistryApi.h"

namespace zarn::platform {

namespace {

constexpr const char* kInstallsKey = "Software\\Ostrevant\\zarn\\Installs";

} // namespace

RegistrationCapture::~RegistrationCapture() {
    Abort();
}

int RegistrationCapture::Begin() {
    if (m_active) {
        return 0;
    }
    m_active = ZarnRegBeginCapture() == ERROR_SUCCESS;
    return m_active ? 1 : 0;
}

int RegistrationCapture::Commit(const std::string& installId) {
    if (!m_active) {
        return 0;
    }
    m_active = false;
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kInstallsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        const std::string value = "1";
        result = RegSetValueExA(key, installId.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) {
        ZarnRegEndCapture(FALSE);
        return 0;
    }
    return ZarnRegEndCapture(TRUE) == ERROR_SUCCESS ? 1 : 0;
}

void RegistrationCapture::Abort() {
    if (m_active) {
        m_active = false;
        ZarnRegEndCapture(FALSE);
    }
}

int RegistrationCapture::Settle(const std::string& installId) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    const LONG result = RegQueryValueExA(key, installId.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 1 : 0;
}

int RegistrationCapture::Forget(const std::string& installId) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, kInstallsKey, 0, KEY_WRITE, &key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return 1;
    }
    if (result != ERROR_SUCCESS) {
        return 0;
    }
    result = RegDeleteValueA(key, installId.c_str());
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? 1 : 0;
}

} // namespace zarn::platform
