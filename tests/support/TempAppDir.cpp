#include "tests/support/TempAppDir.h"

#include <fstream>

namespace zarn::test {

TempAppDir::TempAppDir() : m_app(m_root.Path() / "app") {
    std::filesystem::create_directory(m_app);
}

void TempAppDir::WriteList(std::string_view bytes) const {
    std::filesystem::create_directories(m_app / "complist");
    std::ofstream out(m_app / "complist" / "complist.txt", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace zarn::test
