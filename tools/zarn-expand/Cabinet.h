// One cabinet read through libmspack over an mspack_system table of the caller's, with every entry's name
// checked before anything is extracted.
#pragma once

#include <mspack.h>
#include <string>
#include <vector>

namespace zarn {

class Cabinet {
public:
    struct Entry {
        const mscabd_file* file = nullptr;
        std::string name;                  // as the cabinet holds it
        std::vector<std::string> segments; // the accepted path below the target directory
    };

    // `system` must outlive the cabinet. Any thread, one cabinet per thread at a time.
    explicit Cabinet(mspack_system* system);
    ~Cabinet();
    Cabinet(const Cabinet&) = delete;
    Cabinet& operator=(const Cabinet&) = delete;

    // Reads the headers of the cabinet that `system` opens as `name`. False with the reason in `error`.
    bool Open(const char* name, std::string& error);
    // Every entry, each name accepted by CheckEntryName. False, with `error` naming the first refused entry
    // and why, when any is refused; `entries` is then empty.
    bool Entries(std::vector<Entry>& entries, std::string& error) const;
    // Writes the entry's data to what `system` opens for writing as `outputName`, checking the data blocks'
    // checksums and decompression. False with the reason in `error`.
    bool Extract(const Entry& entry, const char* outputName, std::string& error);

    // The entry name with every byte outside printable ASCII shown as \xNN, for messages.
    static std::string Printable(const std::string& name);

private:
    std::string LastError() const;

    mspack_system* m_system;
    mscab_decompressor* m_decompressor = nullptr;
    mscabd_cabinet* m_cabinet = nullptr;
};

} // namespace zarn
