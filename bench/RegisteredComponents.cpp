#include "bench/RegisteredComponents.h"

#include "platform/RegistryApi.h"
#include "tests/support/VersionedFile.h"

#include <fstream>

namespace zarn::bench {

namespace fs = std::filesystem;

namespace {

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

} // namespace

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

bool WriteRegisteredComponents(const fs::path& appDir, const fs::path& listPath, int count) {
    fs::create_directories(appDir / "comp");
    fs::create_directories(listPath.parent_path());
    std::ofstream list(listPath, std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        const Version version = VersionOf(i);
        list << RecordHead(i, version, "comp");
        if (i % 4 == 3) {
            const std::string file = "tool" + n + ".exe";
            if (!test::WriteVersionedPe((appDir / "comp" / file).string(), version.text)) {
                return false;
            }
            list << "codebase=http://127.0.0.1/files/" << file << "\r\nregfile=app\r\n";
        } else {
            const std::string id = "B0000000-0000-4000-8000-" + std::string(12 - n.size(), '0') + n;
            const std::string server = (appDir / "comp" / ("ctl" + n + ".ocx")).string();
            if (!test::WriteVersionedPe(server, version.text) ||
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

} // namespace zarn::bench
