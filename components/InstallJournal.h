// The journal of one component's install from a cabinet: what it is about to change and how far it got, on disk
// before every change, so that the install can be finished or undone after a kill at any moment, leaving the
// component exactly its old version or exactly its new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class InstallJournal {
public:
    enum class State {
        Staging,   // the new files are being unpacked beside their targets; none is in place
        Staged,    // every new file lies beside its target, the list below is whole; nothing is replaced yet
        Swapped,   // previous files may have been put aside and new ones put in place, the registration not done
        Committed, // the new version stands; only the previous files put aside are left to remove
    };

    // One file the cabinet brings. Paths are relative to the application directory, with its separators.
    struct File {
        std::string target; // where the new file goes
        std::string staged; // the new file, unpacked beside the target
        std::string aside;  // where the previous file is kept while the install may still be undone
        bool hadPrevious = false;
    };

    std::string component;   // the record's description, for the log
    std::string installId;   // unique to this install; also the registration's marker
    std::string installType; // "LIB" or "REG"
    State state = State::Staging;
    std::vector<File> files;

    // A new install id: the time and random letters, usable in a file name and as a registry value name. Any thread.
    static std::string NewInstallId();
    // The journal file of `installId` under `appDir` (which ends in the separator):
    // "complist/zarn-install-<id>.journal".
    static std::string PathOf(const std::string& appDir, const std::string& installId);
    // The journal files under `appDir`'s complist folder, sorted by name. Reads the file system; any thread.
    static std::vector<std::string> FindAll(const std::string& appDir);
    // The journal at `path`; nullopt when it cannot be read or is not a whole journal whose paths all stay inside
    // the application directory. Any thread.
    static std::optional<InstallJournal> Read(const std::string& path);

    // Writes the journal to `path` so that the file holds either its previous content or all of this one, even
    // after a power loss: written beside it, flushed, renamed over it, and the folder flushed. Returns 0 or the
    // system's code.
    unsigned long Write(const std::string& path) const;

    // Adds `target` with its `staged` new file (both absolute, below `appDir`), naming where its previous version
    // will be kept. False when either lies outside `appDir`.
    bool AddFile(const std::string& appDir, const std::string& target, const std::string& staged);

    // Puts every previous file aside and every new one in its place, one file at a time, and checks that each
    // target then holds its new file. Calls platform::CrashPoint(crashPrefix + step) after each step ("aside-N",
    // "placed-N"). Returns 1 when done; 0 with the target that could not be replaced in `failedTarget` and the
    // system's code in `error` (nothing is undone here: Undo does that).
    int Swap(const std::string& appDir, const std::string& crashPrefix, std::string& failedTarget,
             unsigned long& error);

    // Puts every previous file back and removes every new file and staged file, from whatever point a swap
    // reached; safe to repeat. Returns 1 when every file is as before the install; 0 with the first file that
    // could not be restored in `problem`.
    int Undo(const std::string& appDir, std::string& problem) const;

    // Removes the previous files kept aside and any staged file left. Returns 1 when all are gone; 0 with the
    // first that could not be removed (still in use, perhaps) in `problem`.
    int Finish(const std::string& appDir, std::string& problem) const;

    static const char* StateName(State state);
};

} // namespace zarn
