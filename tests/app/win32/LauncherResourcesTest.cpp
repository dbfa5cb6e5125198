// The resources the Windows build puts into QuillornaCC.exe: the icon at the sizes Explorer and the windows ask for,
// the manifest (common controls 6, per-monitor scaling, no elevation) and the version of the build.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

class LauncherResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = LoadLibraryExW(Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr) << GetLastError();
    }
    void TearDown() override { FreeLibrary(m_module); }

    static std::wstring Path() {
        const std::string path = ZARN_LAUNCHER_EXE;
        return std::wstring(path.begin(), path.end());
    }
    std::string Resource(LPCWSTR name, LPCWSTR type) const {
        const HRSRC found = FindResourceW(m_module, name, type);
        if (found == nullptr) {
            return {};
        }
        const auto* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return data != nullptr ? std::string(data, SizeofResource(m_module, found)) : std::string();
    }

    HMODULE m_module = nullptr;
};

TEST_F(LauncherResourcesTest, IconHasEverySizeFromSixteenTo256) {
    const std::string group = Resource(MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u);
    const auto count = static_cast<unsigned char>(group[4]);
    std::vector<int> sizes;
    // Each entry is 14 bytes after the 6-byte header; its first byte is the width, 0 meaning 256.
    for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const auto width = static_cast<unsigned char>(group[6 + 14 * i]);
        sizes.push_back(width == 0 ? 256 : width);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
}

TEST_F(LauncherResourcesTest, ManifestAsksForCommonControlsSixPerMonitorScalingAndNoElevation) {
    const std::string manifest = Resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "PerMonitorV2", "level=\"asInvoker\""}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST_F(LauncherResourcesTest, VersionIsTheBuilds) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(Path().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(Path().c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(version, ZARN_VERSION);
    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&product), &length));
    const std::string expected = ZARN_VERSION;
    EXPECT_EQ(std::wstring(product), std::wstring(expected.begin(), expected.end()));
}

} // namespace
