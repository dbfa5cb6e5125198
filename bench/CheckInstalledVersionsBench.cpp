// Times reading the component list and detecting every component's installed version for growing numbers of
// registered components, to show that the cost per component stays flat.
#include "components/ZarnDoc.h"
#include "platform/Registry.h"
#include "tests/support/VersionedFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

bool SetDefaultValue(const std::string& key, const std::string& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set = RegSetValueExA(handle, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    return RegCloseKey(handle) == ERROR_SUCCESS && set;
}

// One application directory with `count` components: three of four registered controls with a version-bearing
// server file, one of four an application file; the list file names them all.
bool Prepare(const fs::path& appDir, int count) {
    fs::create_directories(appDir / "complist");
    fs::create_directories(appDir / "comp");
    std::ofstream list(appDir / "complist" / "complist.txt", std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        const std::string version = std::to_string(1 + i % 3) + "." + std::to_string(i % 5) + ".0." + n;
        list << "[STARTCOMP]\r\ndesc=Component " << n << "\r\nname=comp" << n << "\r\nmajor_ver=2\r\nminor_ver=1\r\n"
             << "dir=comp\r\n";
        if (i % 4 == 3) {
            const std::string file = "tool" + n + ".exe";
            if (!zarn::test::WriteVersionedPe((appDir / "comp" / file).string(), version)) {
                return false;
            }
            list << "codebase=http://127.0.0.1/files/" << file << "\r\nregfile=app\r\n";
        } else {
            const std::string id = "B0000000-0000-4000-8000-" + std::string(12 - n.size(), '0') + n;
            const std::string server = (appDir / "comp" / ("ctl" + n + ".ocx")).string();
            if (!zarn::test::WriteVersionedPe(server, version) ||
                !SetDefaultValue("CLSID\\{" + id + "}\\ProgID", "Bench.Control" + n) ||
                !SetDefaultValue("Bench.Control" + n, "Bench control " + n) ||
                !SetDefaultValue("CLSID\\{" + id + "}\\InprocServer32", server)) {
                return false;
            }
            list << "classid={" << id << "}\r\ncodebase=http://127.0.0.1/files/ctl" << n << ".cab\r\nregfile=ctl" << n
                 << ".ocx\r\n";
        }
        list << "[ENDCOMP]\r\n";
    }
    return static_cast<bool>(list.flush());
}

} // namespace

int main() {
    std::random_device random;
    const fs::path root = fs::temp_directory_path() / ("zarn-bench-" + std::to_string(random()));
    std::printf("%10s %12s %12s %16s\n", "components", "parse ms", "total ms", "us per component");
    for (const int count : {10, 100, 1000, 10000}) {
        const fs::path dir = root / std::to_string(count);
        const fs::path appDir = dir / "app";
        fs::create_directories(appDir);
        ::setenv("ZARN_REGISTRY", (dir / "registry.sqlite3").string().c_str(), 1);
        if (!Prepare(appDir, count)) {
            std::fprintf(stderr, "could not prepare %d components in %s\n", count, dir.string().c_str());
            return 1;
        }
        zarn::CZarnDoc doc(appDir.string() + "/");
        // Best of three runs, so that one disturbed run does not hide the trend.
        double bestParse = 0;
        double bestTotal = 0;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const int parsed = doc.ParseComponentList();
            const auto afterParse = std::chrono::steady_clock::now();
            doc.CheckInstalledVersions();
            const auto end = std::chrono::steady_clock::now();
            if (parsed != 1 || doc.m_compList.size() != static_cast<size_t>(count)) {
                std::fprintf(stderr, "list of %d components read wrongly\n", count);
                return 1;
            }
            const double parseMs = std::chrono::duration<double, std::milli>(afterParse - start).count();
            const double totalMs = std::chrono::duration<double, std::milli>(end - start).count();
            if (run == 0 || totalMs < bestTotal) {
                bestTotal = totalMs;
                bestParse = parseMs;
            }
        }
        std::printf("%10d %12.2f %12.2f %16.1f\n", count, bestParse, bestTotal, bestTotal * 1000.0 / count);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
