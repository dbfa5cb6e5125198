// zarn-expand: writes every file of a cabinet into a directory, in the manner of `expand -F:*`. The launcher
// starts it by its full path to install a component delivered as a cabinet.
#include "platform/DirectoryHandle.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tools/zarn-expand/CabinetReader.h"
#include "tools/zarn-expand/EntryName.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage: zarn-expand -F:* CABINET DIRECTORY [--stage LIST]

Writes every file of CABINET into the existing DIRECTORY, making the subdirectories the entry names hold
('\' or '/' separate them) and replacing files of the same names. An entry name that is empty or absolute,
holds a ':', a control character or one of <>"|?*, or has an empty, "." or ".." segment, a segment ending in
a dot or a space, or a Windows device name (CON, nul.txt, CONIN$, COM1) refuses the whole cabinet, and so
does a symbolic link (or junction) met at a directory or file an entry names beneath DIRECTORY: nothing is
written through a link, and DIRECTORY itself may not be one. A cabinet that cannot be read whole, or whose
declared sizes add up to more than the free space, writes nothing either. Each file is written beside its
target under a temporary name and renamed into place once every file of the cabinet was extracted. /F:* is
accepted for -F:*.
--stage LIST: every file is written beside its target as above but none is renamed into place; instead LIST (a
new file, or one replaced) receives, for each file, its target's path and the temporary file's path, each ended by
a NUL byte, for the caller to swap them all in itself.
Exit status: 0 done; 1 wrong usage; 2 the cabinet cannot be read or expanded, or does not fit; 3 an entry is
refused (its name, or a link on its way).
)";

constexpr int kDone = 0;
constexpr int kUsageError = 1;
constexpr int kFailed = 2;
constexpr int kRefused = 3;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "zarn-expand: %s\n", message.c_str());
    return code;
}

std::string SystemError(unsigned long code) {
    return "system error " + std::to_string(code);
}

bool IsAllFilesSwitch(std::string_view argument) {
    return argument.size() == 4 && (argument[0] == '-' || argument[0] == '/') &&
           (argument[1] == 'F' || argument[1] == 'f') && argument.substr(2) == ":*";
}

// What an expansion has put on disk so far; taken away again unless it was kept. Every folder and file is
// made beneath a held directory, one level at a time, so nothing is ever written through a link.
class Expansion {
public:
    struct Output {
        std::string target; // the full path, for messages
        zarn::platform::DirectoryHandle* directory = nullptr;
        std::string name;
        std::string temporary; // its name beside `name`; empty once renamed into place
        zarn::platform::File file;
    };

    Expansion() = default;
    Expansion(const Expansion&) = delete;
    Expansion& operator=(const Expansion&) = delete;
    ~Expansion() {
        if (m_kept) {
            return;
        }
        for (Output& output : m_outputs) {
            output.file.Close();
            if (!output.temporary.empty()) {
                static_cast<void>(output.directory->RemoveFile(output.temporary));
            }
        }
        // A folder goes only once its own handle is let go (Windows refuses to remove a held one).
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
            it->directory->Close();
            static_cast<void>(it->parent->RemoveEmptyDirectory(it->name));
        }
    }

    // Opens the target directory. Returns 0 or the system's code.
    unsigned long OpenRoot(const std::string& path) {
        m_rootPath = path;
        return m_root.Open(path);
    }
    zarn::platform::DirectoryHandle& Root() { return m_root; }

    // The folder `segments[0..count)` beneath the target, made where missing. nullptr, with the message in
    // `error` and whether a link refused it in `link`, when it cannot be had.
    zarn::platform::DirectoryHandle* Directory(const std::vector<std::string>& segments, std::size_t count, bool& link,
                                               std::string& error) {
        zarn::platform::DirectoryHandle* directory = &m_root;
        std::string key;
        std::string shown = m_rootPath;
        for (std::size_t i = 0; i < count; ++i) {
            key += segments[i] + '/';
            shown += zarn::platform::PathSeparator() + segments[i];
            const auto found = m_directories.find(key);
            if (found != m_directories.end()) {
                directory = &found->second;
                continue;
            }
            zarn::platform::DirectoryHandle::Kind kind{};
            if (const unsigned long code = directory->KindOf(segments[i], kind); code != 0) {
                error = shown + ": cannot look at it (" + SystemError(code) + ")";
                return nullptr;
            }
            if (kind == zarn::platform::DirectoryHandle::Kind::Link) {
                link = true;
                error = shown + " is a link";
                return nullptr;
            }
            zarn::platform::DirectoryHandle& child = m_directories[key];
            bool made = false;
            const unsigned long code = directory->OpenChild(segments[i], child, made);
            if (made) {
                m_made.push_back(Made{directory, segments[i], &child});
            }
            if (code != 0) {
                error = shown + ": cannot make or open the directory (" + SystemError(code) + ")";
                return nullptr;
            }
            directory = &child;
        }
        return directory;
    }

    // Adds an empty temporary file beside `name` in `directory`; it stays valid while the expansion lives.
    Output* AddOutput(const std::string& target, zarn::platform::DirectoryHandle& directory, const std::string& name,
                      unsigned long& code) {
        Output& output = m_outputs.emplace_back();
        output.target = target;
        output.directory = &directory;
        output.name = name;
        code = directory.CreateBeside(name, output.file, output.temporary);
        return code == 0 ? &output : nullptr;
    }

    std::deque<Output>& Outputs() { return m_outputs; }
    void Keep() { m_kept = true; }

private:
    struct Made {
        zarn::platform::DirectoryHandle* parent;
        std::string name;
        zarn::platform::DirectoryHandle* directory;
    };

    zarn::platform::DirectoryHandle m_root;
    std::string m_rootPath;
    // Keyed by the segments, each followed by '/'; std::map keeps the handles where they are.
    std::map<std::string, zarn::platform::DirectoryHandle> m_directories;
    std::vector<Made> m_made;
    // A deque keeps each output where it is while more are added: the reader holds their files' addresses.
    std::deque<Output> m_outputs;
    bool m_kept = false;
};

// Writes the (target, staged file) pairs of `outputs` to `listPath`, each path ended by a NUL byte. Returns 0 or the
// system's code.
unsigned long WriteStagedList(const std::string& listPath, const std::deque<Expansion::Output>& outputs) {
    std::string list;
    for (const Expansion::Output& output : outputs) {
        const std::size_t folderEnd = output.target.size() - output.name.size();
        list += output.target + '\0' + output.target.substr(0, folderEnd) + output.temporary + '\0';
    }
    zarn::platform::File file;
    unsigned long code = file.OpenForWriting(listPath);
    if (code == 0) {
        code = file.Resize(0);
    }
    if (code == 0) {
        code = file.Write(list.data(), list.size());
    }
    if (const unsigned long closed = file.Close(); code == 0) {
        code = closed;
    }
    return code;
}

// Unpacks the cabinet into `directory`; with a `stagedList`, leaves every file beside its target and lists them
// there instead of renaming them into place.
int Expand(const std::string& cabinetPath, const std::string& directory, const std::string& stagedList) {
    Expansion expansion;
    if (const unsigned long code = expansion.OpenRoot(directory); code != 0) {
        return Fail(kFailed,
                    directory + ": cannot open the directory, which may not be a link (" + SystemError(code) + ")");
    }
    zarn::CabinetReader cabinet;
    std::string reason;
    if (!cabinet.Open(cabinetPath, reason)) {
        return Fail(kFailed, cabinetPath + ": " + reason);
    }
    const std::vector<std::string>& names = cabinet.Names();
    std::vector<zarn::EntryPath> paths;
    for (const std::string& name : names) {
        paths.push_back(zarn::CheckEntryName(name));
        if (paths.back().refusal != nullptr) {
            return Fail(kRefused, cabinetPath + ": refused entry \"" + zarn::PrintableEntryName(name) +
                                      "\": " + paths.back().refusal + "; nothing was written");
        }
    }

    // Every file is written whole beside its target before any is renamed, so all of them must fit at once.
    std::uint64_t needed = 0;
    for (const std::uint64_t size : cabinet.Sizes()) {
        needed += size;
    }
    std::uint64_t free = 0;
    if (const unsigned long code = expansion.Root().FreeSpace(free); code != 0) {
        return Fail(kFailed, directory + ": cannot tell its free space (" + SystemError(code) + ")");
    }
    if (needed > free) {
        return Fail(kFailed, cabinetPath + ": its files would take " + std::to_string(needed) + " bytes, but " +
                                 directory + " has only " + std::to_string(free) + " bytes free; nothing was written");
    }

    std::vector<zarn::platform::File*> files;
    const std::string separator(1, zarn::platform::PathSeparator());
    for (std::size_t entry = 0; entry < paths.size(); ++entry) {
        const std::vector<std::string>& segments = paths[entry].segments;
        std::string target = directory;
        for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
            target += separator + segments[i];
        }
        const std::string refused =
            cabinetPath + ": refused entry \"" + zarn::PrintableEntryName(names[entry]) + "\": ";
        bool link = false;
        std::string error;
        zarn::platform::DirectoryHandle* parent = expansion.Directory(segments, segments.size() - 1, link, error);
        if (parent == nullptr) {
            return link ? Fail(kRefused, refused + error + "; nothing is written through a link")
                        : Fail(kFailed, error + "; nothing was written");
        }
        target += separator + segments.back();
        zarn::platform::DirectoryHandle::Kind kind{};
        if (const unsigned long code = parent->KindOf(segments.back(), kind); code != 0) {
            return Fail(kFailed, target + ": cannot look at it (" + SystemError(code) + "); nothing was written");
        }
        if (kind == zarn::platform::DirectoryHandle::Kind::Link) {
            return Fail(kRefused, refused + target + " is a link; nothing is written through a link");
        }
        unsigned long code = 0;
        Expansion::Output* output = expansion.AddOutput(target, *parent, segments.back(), code);
        if (output == nullptr) {
            return Fail(kFailed,
                        target + ": cannot create a file beside it (" + SystemError(code) + "); nothing was written");
        }
        files.push_back(&output->file);
    }
    zarn::CabinetReader::Failure failure;
    if (!cabinet.ExtractAll(files, failure)) {
        if (failure.writeError != 0) {
            return Fail(kFailed, expansion.Outputs()[failure.entry].target + ": cannot write it (" +
                                     SystemError(failure.writeError) + "); nothing was written");
        }
        return Fail(kFailed, cabinetPath + ": entry \"" + zarn::PrintableEntryName(names[failure.entry]) +
                                 "\": " + failure.reason + "; nothing was written");
    }

    // A directory where a file goes would stop its rename after others were done: refuse before any.
    for (const Expansion::Output& output : expansion.Outputs()) {
        zarn::platform::DirectoryHandle::Kind kind{};
        if (const unsigned long code = output.directory->KindOf(output.name, kind); code != 0) {
            return Fail(kFailed,
                        output.target + ": cannot look at it (" + SystemError(code) + "); nothing was written");
        }
        if (kind == zarn::platform::DirectoryHandle::Kind::Directory) {
            return Fail(kFailed, output.target + ": is a directory; nothing was written");
        }
    }
    if (!stagedList.empty()) {
        if (const unsigned long code = WriteStagedList(stagedList, expansion.Outputs()); code != 0) {
            return Fail(kFailed, stagedList + ": cannot write the list of staged files (" + SystemError(code) +
                                     "); nothing was written");
        }
        expansion.Keep();
        return kDone;
    }
    for (Expansion::Output& output : expansion.Outputs()) {
        if (const unsigned long code = output.directory->Replace(output.temporary, output.name); code != 0) {
            return Fail(kFailed, output.target + ": cannot rename it into place (" + SystemError(code) + ")");
        }
        output.temporary.clear();
    }
    expansion.Keep();
    return kDone;
}

} // namespace

int main(int argc, char** argv) {
    const bool staging = argc == 6 && std::string_view(argv[4]) == "--stage" && argv[5][0] != '\0';
    if ((argc != 4 && !staging) || !IsAllFilesSwitch(argv[1])) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    // The held directory takes the system's long path form itself, so messages name the directory as given.
    return Expand(argv[2], argv[3], staging ? argv[5] : "");
}
