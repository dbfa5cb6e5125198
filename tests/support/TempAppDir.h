// A fresh application directory ("app/" inside a temporary directory), removed with everything in it at the end.
#pragma once

#include "tests/support/TempDir.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace zarn::test {

class TempAppDir {
public:
    // Makes the temporary directory and app/ in it. Test thread only.
    TempAppDir();

    // The application directory with its trailing separator, as the launcher holds it.
    std::string AppDir() const { return (m_app / "").string(); }
    // A directory beside the application directory, outside it.
    const std::filesystem::path& Outside() const { return m_root.Path(); }
    // A path below the application directory; '/' in `relative` becomes the system's separator.
    std::filesystem::path Path(std::string_view relative) const { return (m_app / relative).make_preferred(); }

    // Writes the list file (creating complist/) with exactly these bytes.
    void WriteList(std::string_view bytes) const;

private:
    TempDir m_root;
    std::filesystem::path m_app;
};

} // namespace zarn::test
