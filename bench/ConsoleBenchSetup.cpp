// Writes what bench/console_bench.sh serves and installs before it times the launcher as a process:
//   ConsoleBenchSetup check APPDIR VENDORDIR COUNT
//     COUNT registered, version-bearing components installed in APPDIR (three of four controls registered in the
//     ZARN_REGISTRY database with their server file in APPDIR/comp, one of four an application file there), and
//     the vendor's list of them in VENDORDIR, each listed at its installed version, so every one is CURRENT.
//   ConsoleBenchSetup update VENDORDIR COUNT SERVER
//     COUNT small version-bearing "APP" files in VENDORDIR/quillornacc/components and the list naming them on
//     SERVER (http://host:port or https://host:port).
// Exit status 1 with a message on standard error when something could not be written.
#include "bench/RegisteredComponents.h"
#include "tests/support/VersionedFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path ListPath(const fs::path& vendorDir) {
    return vendorDir / "quillornacc" / "complist" / "complist.txt";
}

bool PrepareUpdate(const fs::path& vendorDir, int count, const std::string& server) {
    const fs::path components = vendorDir / "quillornacc" / "components";
    fs::create_directories(components);
    fs::create_directories(ListPath(vendorDir).parent_path());
    std::ofstream list(ListPath(vendorDir), std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string file = "app" + std::to_string(i) + ".exe";
        const zarn::bench::Version version = zarn::bench::VersionOf(i);
        if (!zarn::test::WriteVersionedPe((components / file).string(), version.text)) {
            return false;
        }
        list << zarn::bench::RecordHead(i, version, "apps") << "codebase=" << server << "/quillornacc/components/"
             << file << "\r\nregfile=app\r\n[ENDCOMP]\r\n";
    }
    return static_cast<bool>(list.flush());
}

int Usage() {
    std::fputs("usage: ConsoleBenchSetup check APPDIR VENDORDIR COUNT\n"
               "       ConsoleBenchSetup update VENDORDIR COUNT SERVER\n",
               stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        return Usage();
    }
    const std::string mode = argv[1];
    bool written = false;
    if (mode == "check") {
        const int count = std::atoi(argv[4]);
        if (count <= 0 || std::getenv("ZARN_REGISTRY") == nullptr) {
            return Usage();
        }
        written = zarn::bench::WriteRegisteredComponents(argv[2], ListPath(argv[3]), count);
    } else if (mode == "update") {
        const int count = std::atoi(argv[3]);
        if (count <= 0) {
            return Usage();
        }
        written = PrepareUpdate(argv[2], count, argv[4]);
    } else {
        return Usage();
    }
    if (!written) {
        std::fprintf(stderr, "ConsoleBenchSetup: could not write the %s set-up\n", mode.c_str());
        return 1;
    }
    return 0;
}
