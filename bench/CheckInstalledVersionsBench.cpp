// Times reading the component list and detecting every component's installed version for growing numbers of
// registered components, to show that the cost per component stays flat.
#include "bench/RegisteredComponents.h"
#include "components/ZarnDoc.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;

int main() {
    std::random_device random;
    const fs::path root = fs::temp_directory_path() / ("zarn-bench-" + std::to_string(random()));
    std::printf("%10s %12s %12s %16s\n", "components", "parse ms", "total ms", "us per component");
    for (const int count : {10, 100, 1000, 10000}) {
        const fs::path dir = root / std::to_string(count);
        const fs::path appDir = dir / "app";
        fs::create_directories(appDir);
        ::setenv("ZARN_REGISTRY", (dir / "registry.sqlite3").string().c_str(), 1);
        if (!zarn::bench::WriteRegisteredComponents(appDir, appDir / "complist" / "complist.txt", count)) {
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
