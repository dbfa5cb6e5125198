// The parts of DirectoryHandle that are the same on every system.
#include "platform/DirectoryHandle.h"

#include <utility>

namespace zarn::platform {

DirectoryHandle::~DirectoryHandle() {
    Close();
}

DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_path(std::move(other.m_path)) {}

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

} // namespace zarn::platform
