#include "tests/support/RegistryDump.h"

#include "platform/RegistryApi.h"

#include <vector>

namespace zarn::test {

namespace {

std::string DumpKey(HKEY key, const std::string& path) {
    std::string dump = path + "\n";
    std::vector<char> name(16384);
    std::vector<BYTE> data(1 << 16);
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    for (DWORD i = 0;
         RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size())) {
        dump += "  " + std::string(name.data(), nameSize) + " " + std::to_string(type) + " " +
                std::string(reinterpret_cast<const char*>(data.data()), dataSize) + "\n";
    }
    std::vector<std::string> subKeys;
    char subKey[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, subKey, sizeof subKey) == ERROR_SUCCESS; ++i) {
        subKeys.emplace_back(subKey);
    }
    for (const std::string& sub : subKeys) {
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
            dump += path + "\\" + sub + " cannot be opened\n";
            continue;
        }
        dump += DumpKey(child, path + "\\" + sub);
        RegCloseKey(child);
    }
    return dump;
}

} // namespace

std::string RegistryDump() {
    return DumpKey(HKEY_CURRENT_USER, "HKEY_CURRENT_USER") + DumpKey(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE");
}

} // namespace zarn::test
