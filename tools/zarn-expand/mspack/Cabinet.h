// One cabinet read through libmspack over an mspack_system table of the caller's. The POSIX CabinetReader
// and the fuzzer read cabinets through it.
#pragma once

#include <mspack.h>
#include <string>
#include <vector>

namespace zarn {

class Cabinet {
public:
    struct Entry {
        const mscabd_file* file = nullptr;
        std::string name; // as the cabinet holds it
    };

    // `system` must outlive the cabinet. Any thread, one cabinet per thread at a time.
    explicit Cabinet(mspack_system* system);
    ~Cabinet();
    Cabinet(const Cabinet&) = delete;
    Cabinet& operator=(const Cabinet&) = delete;

    // Reads the headers of the cabinet that `system` opens as `name`; one of a multi-cabinet set is refused.
    // False with the reason in `error`.
    bool Open(const char* name, std::string& error);
    // Every entry, in the cabinet's order; empty before a successful Open.
    std::vector<Entry> Entries() const;
    // Writes the entry's data to what `system` opens for writing as `outputName`, checking the data blocks'
    // checksums and decompression. False with the reason in `error`.
    bool Extract(const Entry& entry, const char* outputName, std::string& error);

private:
    std::string LastError() const;

    mspack_system* m_system;
    mscab_decompressor* m_decompressor = nullptr;
    mscabd_cabinet* m_cabinet = nullptr;
};

} // namespace zarn
