#include "tests/support/ScratchRegistry.h"

#include "platform/RegistryApi.h"

#include <stdexcept>
#include <string>

namespace zarn::test {

namespace {

const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
constexpr const char* kRootNames[] = {"HKCR", "HKCU", "HKLM"};

// The user's real Software\Ostrevant\zarn-tests, opened before any redirection, so that every scratch key is
// made there and not inside another scratch registry.
HKEY ScratchParent() {
    static HKEY parent = [] {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn-tests", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot open HKCU\\Software\\Ostrevant\\zarn-tests");
        }
        return key;
    }();
    return parent;
}

const ScratchRegistry* g_current = nullptr;

bool Redirect(void* const (&roots)[3]) {
    for (int i = 0; i < 3; ++i) {
        if (RegOverridePredefKey(kRoots[i], static_cast<HKEY>(roots[i])) != ERROR_SUCCESS) {
            return false;
        }
    }
    return true;
}

} // namespace

ScratchRegistry::ScratchRegistry() : m_outer(g_current) {
    const HKEY parent = ScratchParent();
    static unsigned serial = 0;
    m_keyName = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    for (int i = 0; i < 3; ++i) {
        HKEY key = nullptr;
        const std::string name = m_keyName + "\\" + kRootNames[i];
        if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot make the scratch key " + name);
        }
        m_roots[i] = key;
    }
    if (!Redirect(m_roots)) {
        throw std::runtime_error("cannot redirect the predefined keys");
    }
    g_current = this;
}

ScratchRegistry::~ScratchRegistry() {
    // Nothing more can be done if putting the outer registry back fails; the next test's own scratch would fail.
    if (m_outer != nullptr) {
        Redirect(m_outer->m_roots);
    } else {
        for (const HKEY root : kRoots) {
            RegOverridePredefKey(root, nullptr);
        }
    }
    g_current = m_outer;
    for (void* key : m_roots) {
        RegCloseKey(static_cast<HKEY>(key));
    }
    RegDeleteTreeA(ScratchParent(), m_keyName.c_str());
}

} // namespace zarn::test
