// One cabinet file read by the system's cabinet library (libmspack on POSIX, FDI in cabinet.dll on Windows):
// first its entries' names, then the data of all entries into files the caller has opened. Names are not
// checked here; zarn-expand checks them before it creates any file.
#pragma once

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

class CabinetReader {
public:
    // Why an extraction stopped: the entry it stopped at, and either the system's code of a failed write or
    // close of that entry's file, or (when that is 0) what was wrong with the cabinet.
    struct Failure {
        std::size_t entry = 0;
        unsigned long writeError = 0;
        std::string reason;
    };

    CabinetReader();
    ~CabinetReader();
    CabinetReader(const CabinetReader&) = delete;
    CabinetReader& operator=(const CabinetReader&) = delete;

    // Reads the headers of the cabinet at `path` and its entries' names, byte for byte as the cabinet holds
    // them. A cabinet that continues into or from another one of a set is refused. False with the reason in
    // `error`. Any thread, one reader per thread at a time.
    bool Open(const std::string& path, std::string& error);
    // The entries' names in the cabinet's order; empty before a successful Open.
    const std::vector<std::string>& Names() const;
    // The entries' uncompressed sizes as the cabinet declares them, in the same order.
    const std::vector<std::uint64_t>& Sizes() const;
    // Writes the data of entry i to outputs[i] (one open file per name, the caller's) and closes each file
    // once its entry is written; nothing else is written or created. The data's checksums are checked, and
    // no entry is written past its declared size. False, with `failure` filled in, at the first entry that
    // cannot be extracted whole.
    bool ExtractAll(const std::vector<zarn::platform::File*>& outputs, Failure& failure);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace zarn
