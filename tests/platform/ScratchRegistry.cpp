#include "tests/platform/ScratchRegistry.h"

#include <cstdlib>
#include <random>
#include <stdexcept>

namespace zarn::test {

ScratchRegistry::ScratchRegistry() {
    std::random_device entropy;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_directory.empty(); ++attempt) {
        std::filesystem::path candidate = base / ("zarn-registry-" + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate))
            m_directory = candidate;
    }
    if (m_directory.empty())
        throw std::runtime_error("cannot make a temporary directory");
    if (const char* previous = std::getenv("ZARN_REGISTRY"))
        m_previous = previous;
    setenv("ZARN_REGISTRY", Database().c_str(), 1);
}

ScratchRegistry::~ScratchRegistry() {
    if (m_previous)
        setenv("ZARN_REGISTRY", m_previous->c_str(), 1);
    else
        unsetenv("ZARN_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

} // namespace zarn::test
