// Reads the text of a component list ("[STARTCOMP]" ... "[ENDCOMP]" blocks of key=value lines) into records.
#pragma once

#include "components/CompObj.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// Records in the order their blocks end in the file; the list owns them.
using ComponentList = std::list<std::unique_ptr<CCompObj>>;

// The lines before the first block: "serial=" (a positive decimal integer the vendor raises with every
// publication) and "expires=" (UTC, YYYY-MM-DDTHH:MM:SSZ). A malformed value is dropped and noted, so that a signed
// list with one is refused rather than read as having none.
struct ListHeader {
    std::optional<std::uint64_t> serial;
    std::optional<std::int64_t> expires; // seconds since 1970-01-01 00:00:00 UTC
    bool malformed = false;
};

// 64 hex digits (either case) in lower case; nullopt for anything else. Any thread; never fails.
std::optional<std::string> ParseSha256Text(std::string_view text);
// Decimal digits only, no sign or blanks, within 64 bits; nullopt for anything else. Any thread; never fails.
std::optional<std::uint64_t> ParseDecimalUint64(std::string_view text);
// "YYYY-MM-DDTHH:MM:SSZ" with every field in its range, as seconds since the epoch; nullopt for anything else.
// Any thread; never fails.
std::optional<std::int64_t> ParseUtcTime(std::string_view text);

class ComponentListReader {
public:
    // Called with the value of every "dir=" line inside a block, at once, in file order.
    using DirectoryHook = std::function<void(const std::string& dirValue)>;

    // Appends every completed block to `list`; `onDirectory` may be empty. One thread at a time.
    ComponentListReader(ComponentList& list, DirectoryHook onDirectory);
    ~ComponentListReader();

    ComponentListReader(const ComponentListReader&) = delete;
    ComponentListReader& operator=(const ComponentListReader&) = delete;

    // Takes the next bytes of the file; a line may span any number of calls. Any bytes are accepted (NUL, invalid
    // UTF-8); lines end at CR, LF or CR LF. Never fails.
    void Feed(std::string_view bytes);

    // Handles the last line when it has no line end and drops a block that was never ended. Never fails.
    void Finish();

    // Parses a whole list text at once (Feed + Finish) and returns its header. Never fails.
    static ListHeader ParseText(std::string_view text, ComponentList& list, DirectoryHook onDirectory);

    // The top-of-file values read so far.
    const ListHeader& Header() const { return m_header; }

    // The text after the last "/" of `url` (empty when it ends in "/"); "FAIL" when it holds no "/".
    // Any thread; never fails.
    static std::string FileNameFromUrl(std::string_view url);

private:
    void HandleLine(std::string_view line);
    void HandleHeaderLine(std::string_view line);
    void SetInstallTypeFromFileName();
    void SetInstallTypeFromRegFile();

    ComponentList& m_list;
    DirectoryHook m_onDirectory;
    std::unique_ptr<CCompObj> m_current;
    std::string m_pendingLine;
    ListHeader m_header;
    bool m_inHeader = true; // no "[STARTCOMP]" seen yet
};

} // namespace zarn
