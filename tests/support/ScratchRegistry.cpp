#include "tests/support/ScratchRegistry.h"

#include <cstdlib>
#include <stdexcept>

namespace zarn::test {

ScratchRegistry::ScratchRegistry() {
    if (const char* previous = std::getenv("ZARN_REGISTRY")) {
        m_previous = previous;
    }
    if (setenv("ZARN_REGISTRY", Database().c_str(), 1) != 0) {
        throw std::runtime_error("cannot set ZARN_REGISTRY");
    }
}

ScratchRegistry::~ScratchRegistry() {
    if (m_previous) {
        setenv("ZARN_REGISTRY", m_previous->c_str(), 1);
    } else {
        unsetenv("ZARN_REGISTRY");
    }
}

} // namespace zarn::test
