// A fresh directory under the system's temporary directory, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zarn::test {

class TempDir {
public:
    // Makes a directory of a new random name; throws when none can be made. Test thread only.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

    // Every entry's name, sorted: shows leftover temporary files.
    std::vector<std::string> Entries() const;

private:
    std::filesystem::path m_path;
};

// True when symbolic links can be made in `dir`: Wine cannot make them, and Windows only with a privilege.
bool CanMakeSymlinks(const std::filesystem::path& dir);
// The whole file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with exactly these bytes.
void WriteFile(const std::string& path, const std::string& content);

} // namespace zarn::test
