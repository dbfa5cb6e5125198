#include "tests/support/ScopedEnv.h"

#include "platform/Environment.h"

#include <stdexcept>

namespace zarn::test {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : m_name(std::move(name)), m_old(platform::EnvironmentValue(m_name)) {
    if (!platform::SetEnvironmentValue(m_name, value)) {
        throw std::runtime_error("cannot set " + m_name);
    }
}

ScopedEnv::~ScopedEnv() {
    platform::SetEnvironmentValue(m_name, m_old);
}

} // namespace zarn::test
