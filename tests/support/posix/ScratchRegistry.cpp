#include "tests/support/ScratchRegistry.h"

namespace zarn::test {

ScratchRegistry::ScratchRegistry() : m_variable("ZARN_REGISTRY", Database().string()) {}

ScratchRegistry::~ScratchRegistry() = default;

} // namespace zarn::test
