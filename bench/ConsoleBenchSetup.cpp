// Writes what bench/console_bench.sh serves and installs before it times the launcher as a process:
//   ConsoleBenchSetup check APPDIR VENDORDIR COUNT
//     COUNT registered, version-bearing components installed in APPDIR (three of four controls registered in the
//     ZARN_REGISTRY database with their server file in APPDIR/comp, one of four an application file there), and
//     the vendor's list of them in VENDORDIR, each listed at its installed version, so every one is CURRENT.
//   ConsoleBenchSetup update VENDORDIR COUNT SERVER [SIZE]
//     COUNT small version-bearing "APP" files in VENDORDIR/quillornacc/components and the list naming them on
//     SERVER (http://host:port or https://host:port); with SIZE, each file is grown to SIZE bytes by data after
//     its sections, which its version information does not see.
// Exit status 1 with a message on standard error when something could not be written.
#include "bench/RegisteredComponents.h"
#include "tests/support/VersionedFile.h"

#include <cstdint>
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

// Grows `path` to `size` bytes with bytes that do not compress, as a real component's do not.
bool GrowTo(const fs::path& path, std::uintmax_t size) {
    std::error_code error;
    const std::uintmax_t have = fs::file_size(path, error);
    if (error || have > size) {
        return !error;
    }
    std::ofstream file(path, std::ios::binary | std::ios::app);
    std::uint32_t state = static_cast<std::uint32_t>(have) | 1u;
    for (std::uintmax_t i = have; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        file.put(static_cast<char>(state));
    }
    return static_cast<bool>(file.flush());
}

bool PrepareUpdate(const fs::path& vendorDir, int count, const std::string& server, std::uintmax_t size) {
    const fs::path components = vendorDir / "quillornacc" / "components";
    fs::create_directories(components);
    fs::create_directories(ListPath(vendorDir).parent_path());
    std::ofstream list(ListPath(vendorDir), std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string file = "app" + std::to_string(i) + ".exe";
        const zarn::bench::Version version = zarn::bench::VersionOf(i);
        if (!zarn::test::WriteVersionedPe((components / file).string(), version.text) ||
            (size > 0 && !GrowTo(components / file, size))) {
            return false;
        }
        list << zarn::bench::RecordHead(i, version, "apps") << "codebase=" << server << "/quillornacc/components/"
             << file << "\r\nregfile=app\r\n[ENDCOMP]\r\n";
    }
    return static_cast<bool>(list.flush());
}

int Usage() {
    std::fputs("usage: ConsoleBenchSetup check APPDIR VENDORDIR COUNT\n"
               "       ConsoleBenchSetup update VENDORDIR COUNT SERVER [SIZE]\n",
               stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && std::string(argv[1]) == "update")) {
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
        const std::uintmax_t size = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 0;
        written = PrepareUpdate(argv[2], count, argv[4], size);
    } else {
        return Usage();
    }
    if (!written) {
        std::fprintf(stderr, "ConsoleBenchSetup: could not write the %s set-up\n", mode.c_str());
        return 1;
    }
    return 0;
}
