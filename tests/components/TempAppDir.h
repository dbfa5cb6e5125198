// A fresh application directory under the system's temp folder, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace zarn::test {

class TempAppDir {
public:
    TempAppDir() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (;;) {
            m_root = base / ("zarn-catalogue-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(m_root)) {
                break;
            }
        }
        m_app = m_root / "app";
        std::filesystem::create_directory(m_app);
    }
    ~TempAppDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempAppDir(const TempAppDir&) = delete;
    TempAppDir& operator=(const TempAppDir&) = delete;

    // The application directory with its trailing separator, as the launcher holds it.
    std::string AppDir() const { return m_app.string() + "/"; }
    // A directory beside the application directory, outside it.
    std::filesystem::path Outside() const { return m_root; }
    std::filesystem::path Path(std::string_view relative) const { return m_app / relative; }

    // Writes the list file (creating complist/) with exactly these bytes.
    void WriteList(std::string_view bytes) const {
        std::filesystem::create_directories(m_app / "complist");
        std::ofstream out(m_app / "complist" / "complist.txt", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path m_root;
    std::filesystem::path m_app;
};

} // namespace zarn::test
