// Packs a file, or a folder with everything below it, into one cabinet with libgcab, as the launcher's expander
// unpacks it.
#pragma once

#include <filesystem>
#include <string>

namespace zarn {

class CabinetWriter {
public:
    // Writes `cabinet` holding `source`: a file under its own name, or every file below a folder under its path
    // from that folder, segments joined with "\" as cabinets name them, in name order. MSZIP when `compress`,
    // else stored. False with `error` set when a file cannot be read or the cabinet cannot be written (nothing is
    // left at `cabinet` then). One thread at a time.
    static bool Write(const std::filesystem::path& source, bool compress, const std::filesystem::path& cabinet,
                      std::string& error);
};

} // namespace zarn
