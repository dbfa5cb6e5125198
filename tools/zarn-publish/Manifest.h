// The vendor's description of a repository, from which zarn-publish builds the files, the component list and its
// signature. A text file of key=value lines; "#" starts a comment line. Before the first section:
//   server=http://host[:port]   the server the list's URLs name (zarn-publish build --server overrides it)
//   valid_days=N                how long a published list stays valid (default 30)
// then one "[component]" section per component, in list order:
//   desc=, name=, classid=      the list's display name, component name and class identifier
//   version=a.b.c.d             the version the list names
//   kind=REG|LIB|APP|EXE        how the launcher installs it
//   dir=                        the folder below the application directory it goes to
//   source=PATH                 REG and LIB: a file or a folder, packed into a cabinet; APP and EXE: the file itself
//   regfile=NAME                REG only: the control to register (default: the packed file's name)
//   publish_as=NAME             the published file's name (default: DIR.cab for a cabinet, else the source's name)
//   compress=yes|no             cabinets: MSZIP (the default) or stored
// Relative paths are read from the manifest's folder.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zarn {

struct ManifestComponent {
    std::string desc;
    std::string name;
    std::string classId;
    std::array<std::int32_t, 4> version{};
    std::string kind;
    std::string dir;
    std::filesystem::path source;
    std::string regFile;
    std::string publishAs;
    bool compress = true;
    int line = 0; // where its section starts, for messages

    // Whether the launcher unpacks it from a cabinet (REG, LIB).
    bool IsCabinet() const { return kind == "REG" || kind == "LIB"; }
};

class Manifest {
public:
    // Reads and checks the manifest at `path`. False with `error` set ("FILE:LINE: what is wrong") on the first
    // problem: an unknown key, a value that a list line cannot carry, a missing or malformed field.
    bool Read(const std::filesystem::path& path, std::string& error);

    std::string server;
    int validDays = 30;
    std::vector<ManifestComponent> components;
};

} // namespace zarn
