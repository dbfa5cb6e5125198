// A registry database of one test's own: a fresh temporary directory that ZARN_REGISTRY points into while the
// object lives.
#pragma once

#include "tests/support/TempDir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zarn::test {

class ScratchRegistry {
public:
    // Makes the directory and points ZARN_REGISTRY at "registry.sqlite3" in it. Test thread only.
    ScratchRegistry();
    // Puts ZARN_REGISTRY back as it was; the directory goes with it.
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    const std::filesystem::path& Directory() const { return m_directory.Path(); }
    // The database file ZARN_REGISTRY names.
    std::filesystem::path Database() const { return m_directory.Path() / "registry.sqlite3"; }

private:
    TempDir m_directory;
    std::optional<std::string> m_previous;
};

} // namespace zarn::test
