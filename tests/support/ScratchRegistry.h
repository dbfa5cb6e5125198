// A registry of one test's own while the object lives. POSIX: a database in a fresh temporary directory that
// ZARN_REGISTRY points into. Windows: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE redirected, for
// this process, to fresh keys under the user's real HKEY_CURRENT_USER\Software\Ostrevant\zarn-tests, deleted at
// the end. Scratch registries nest: the inner one's end puts back the outer one's.
#pragma once

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zarn::test {

class ScratchRegistry {
public:
    // Throws when the registry cannot be redirected. Test thread only.
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

#ifndef _WIN32
    const std::filesystem::path& Directory() const {
        return m_directory.Path();
    }
    // The database file ZARN_REGISTRY names.
    std::filesystem::path Database() const {
        return m_directory.Path() / "registry.sqlite3";
    }

private:
    TempDir m_directory;
    ScopedEnv m_variable;
#else
private:
    std::string m_keyName;          // below the real Software\Ostrevant\zarn-tests
    const ScratchRegistry* m_outer; // the scratch registry this one hides, if any
    void* m_roots[3] = {};          // the redirected roots' own keys (HKEY)
#endif
};

} // namespace zarn::test
