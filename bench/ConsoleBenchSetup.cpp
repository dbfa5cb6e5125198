// Writes what bench/console_bench.sh serves and installs before it times the launcher as a process:
//   ConsoleBenchSetup check APPDIR VENDORDIR COUNT
//     COUNT registered, version-bearing components installed in APPDIR (three of four controls registered in the
//     ZARN_REGISTRY database with their server file in APPDIR/comp, one of four an application file there), and
//     the vendor's list of them in VENDORDIR, each listed at its installed version, so every one is CURRENT.
//   ConsoleBenchSetup update VENDORDIR COUNT SERVER
//     COUNT small version-bearing "APP" files in VENDORDIR/quillornacc/components and the list naming them on
//     SERVER (http://host:port or https://host:port).
// Exit status 1 with a message on standard error when something could not be written.
#include "platform/Registry.h"
#include "tests/support/VersionedFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

fs::path ListPath(const fs::path& vendorDir) {
    return vendorDir / "quillornacc" / "complist" / "complist.txt";
}

// Major 1 to 3, minor 0 to 4: the list names the same two numbers, so the record reads CURRENT.
struct Version {
    int major;
    int minor;
    std::string text;
};

Version VersionOf(int i) {
    const int major = 1 + i % 3;
    const int minor = i % 5;
    return {major, minor, std::to_string(major) + "." + std::to_string(minor) + ".0." + std::to_string(i)};
}

std::string RecordHead(int i, const Version& version, const std::string& dir) {
    const std::string n = std::to_string(i);
    return "[STARTCOMP]\r\ndesc=Component " + n + "\r\nname=comp" + n +
           "\r\nmajor_ver=" + std::to_string(version.major) + "\r\nminor_ver=" + std::to_string(version.minor) +
           "\r\ndir=" + dir + "\r\n";
}

bool PrepareCheck(const fs::path& appDir, const fs::path& vendorDir, int count) {
    fs::create_directories(appDir / "comp");
    fs::create_directories(ListPath(vendorDir).parent_path());
    std::ofstream list(ListPath(vendorDir), std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        const Version version = VersionOf(i);
        list << RecordHead(i, version, "comp");
        if (i % 4 == 3) {
            const std::string file = "tool" + n + ".exe";
            if (!zarn::test::WriteVersionedPe((appDir / "comp" / file).string(), version.text)) {
                return false;
            }
            list << "codebase=http://127.0.0.1/files/" << file << "\r\nregfile=app\r\n";
        } else {
            const std::string id = "B0000000-0000-4000-8000-" + std::string(12 - n.size(), '0') + n;
            const std::string server = (appDir / "comp" / ("ctl" + n + ".ocx")).string();
            if (!zarn::test::WriteVersionedPe(server, version.text) ||
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

bool PrepareUpdate(const fs::path& vendorDir, int count, const std::string& server) {
    const fs::path components = vendorDir / "quillornacc" / "components";
    fs::create_directories(components);
    fs::create_directories(ListPath(vendorDir).parent_path());
    std::ofstream list(ListPath(vendorDir), std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string file = "app" + std::to_string(i) + ".exe";
        const Version version = VersionOf(i);
        if (!zarn::test::WriteVersionedPe((components / file).string(), version.text)) {
            return false;
        }
        list << RecordHead(i, version, "apps") << "codebase=" << server << "/quillornacc/components/" << file
             << "\r\nregfile=app\r\n[ENDCOMP]\r\n";
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
        written = PrepareCheck(argv[2], argv[3], count);
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
