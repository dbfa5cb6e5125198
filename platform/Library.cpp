// The parts of Library that are the same on every system.
#include "platform/Library.h"

#include <utility>

namespace zarn::platform {

Library::~Library() {
    Release();
}

Library::Library(Library&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        Release();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

} // namespace zarn::platform
