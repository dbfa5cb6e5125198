// An open registry key, owned: closed when the object goes. Movable; any thread that owns it.
#pragma once

#include "platform/RegistryApi.h"

#include <utility>

namespace zarn::platform {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            Close();
            m_key = std::exchange(other.m_key, nullptr);
        }
        return *this;
    }

    HKEY Get() const { return m_key; }
    // Where an open or create call stores the new handle; a key held before is closed first.
    PHKEY Receive() {
        Close();
        return &m_key;
    }
    void Close() {
        if (m_key != nullptr) {
            // Nothing useful can be done when closing fails; the handle is gone either way.
            RegCloseKey(m_key);
            m_key = nullptr;
        }
    }

private:
    HKEY m_key = nullptr;
};

} // namespace zarn::platform
