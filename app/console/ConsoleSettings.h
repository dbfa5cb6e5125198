// The launcher's stored settings that the console mode reads: the framework's settings of organisation
// "Ostrevant", application "zarn" (HKEY_CURRENT_USER\Software\Ostrevant\zarn on Windows,
// ~/.config/Ostrevant/zarn.conf elsewhere). Qt Core only: nothing here needs a display.
#pragma once

#include <optional>
#include <string>

namespace zarn {

class ConsoleSettings {
public:
    // The settings key of the certificate authority file trusted besides the system's.
    static constexpr const char* kCaFileKey = "caFile";

    // The stored certificate authority file; empty when none is stored. UI thread.
    static std::string StoredCaFile();
    // The certificate authority file a run trusts: the one the command line gave, else the stored one. UI thread.
    static std::string CaFile(const std::optional<std::string>& given);
};

} // namespace zarn
