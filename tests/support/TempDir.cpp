#include "tests/support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace zarn::test {

TempDir::TempDir() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    // create_directory reports a name already taken as false, so parallel tests never share a directory.
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        std::filesystem::path candidate = base / ("zarn-test-" + std::to_string(random()) + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
        }
    }
    if (m_path.empty()) {
        throw std::runtime_error("cannot make a temporary directory");
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool CanMakeSymlinks(const std::filesystem::path& dir) {
    const std::filesystem::path probe = dir / "symlink-probe";
    std::error_code error;
    std::filesystem::create_directory_symlink(dir, probe, error);
    if (error) {
        return false;
    }
    std::filesystem::remove(probe, error);
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

} // namespace zarn::test
