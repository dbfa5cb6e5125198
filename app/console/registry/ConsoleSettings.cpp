// The stored settings where a build without Qt finds them: the values Qt's settings keep under
// HKEY_CURRENT_USER\Software\Ostrevant\zarn on Windows, read through the registry wrapper.
#include "app/console/ConsoleSettings.h"

#include "components/Registry.h"

namespace zarn {

std::string ConsoleSettings::StoredCaFile() {
    CRegistry settings(HKEY_CURRENT_USER);
    std::string value;
    if (!settings.ReadString("Software\\Ostrevant\\zarn", kCaFileKey, value)) {
        return {};
    }
    return value;
}

std::string ConsoleSettings::CaFile(const std::optional<std::string>& given) {
    return given ? *given : StoredCaFile();
}

} // namespace zarn
