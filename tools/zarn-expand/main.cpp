// zarn-expand: writes every file of a cabinet into a directory, in the manner of `expand -F:*`. The launcher
// starts it by its full path to install a component delivered as a cabinet.
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tools/zarn-expand/CabinetReader.h"
#include "tools/zarn-expand/EntryName.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage: zarn-expand -F:* CABINET DIRECTORY

Writes every file of CABINET into the existing DIRECTORY, making the subdirectories the entry names hold
('\' or '/' separate them) and replacing files of the same names. An entry name that is empty or absolute,
holds a ':', a control character or one of <>"|?*, or has an empty, "." or ".." segment, a segment ending in
a dot or a space, or a Windows device name (CON, nul.txt) refuses the whole cabinet, and so does a cabinet
that cannot be read whole: then nothing is written. Each file is written beside its target under a temporary
name and renamed into place once every file of the cabinet was extracted. /F:* is accepted for -F:*.
Exit status: 0 done; 1 wrong usage; 2 the cabinet cannot be read or expanded; 3 an entry name is refused.
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

// What an expansion has put on disk so far; taken away again unless it was kept.
class Expansion {
public:
    struct Output {
        std::string target;
        std::string temporary;
        zarn::platform::File file;
    };

    explicit Expansion(std::size_t entries) { m_outputs.reserve(entries); }
    Expansion(const Expansion&) = delete;
    Expansion& operator=(const Expansion&) = delete;
    ~Expansion() {
        if (m_kept) {
            return;
        }
        for (Output& output : m_outputs) {
            output.file.Close();
            if (!output.temporary.empty()) {
                zarn::platform::RemoveFile(output.temporary);
            }
        }
        for (auto it = m_directories.rbegin(); it != m_directories.rend(); ++it) {
            std::error_code ignored;
            std::filesystem::remove(*it, ignored);
        }
    }

    // Makes `path` a directory unless it is one. False when it cannot be.
    bool MakeDirectory(const std::string& path) {
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) {
            m_directories.push_back(path);
        }
        return std::filesystem::is_directory(path, error);
    }

    // Adds an empty temporary file beside `target`; it stays valid while the expansion lives.
    Output* AddOutput(const std::string& target, unsigned long& code) {
        Output& output = m_outputs.emplace_back();
        output.target = target;
        code = output.file.CreateBeside(target, output.temporary);
        return code == 0 ? &output : nullptr;
    }

    std::vector<Output>& Outputs() { return m_outputs; }
    void Keep() { m_kept = true; }

private:
    std::vector<std::string> m_directories;
    std::vector<Output> m_outputs;
    bool m_kept = false;
};

int Expand(const std::string& cabinetPath, const std::string& directory) {
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        return Fail(kFailed, directory + ": not a directory");
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

    Expansion expansion(names.size());
    std::vector<zarn::platform::File*> files;
    const std::string separator(1, zarn::platform::PathSeparator());
    for (const zarn::EntryPath& path : paths) {
        std::string target = directory;
        for (std::size_t i = 0; i + 1 < path.segments.size(); ++i) {
            target += separator + path.segments[i];
            if (!expansion.MakeDirectory(target)) {
                return Fail(kFailed, target + ": cannot make the directory; nothing was written");
            }
        }
        target += separator + path.segments.back();
        unsigned long code = 0;
        Expansion::Output* output = expansion.AddOutput(target, code);
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
        if (std::filesystem::is_directory(output.target, error)) {
            return Fail(kFailed, output.target + ": is a directory; nothing was written");
        }
    }
    for (Expansion::Output& output : expansion.Outputs()) {
        if (const unsigned long code = zarn::platform::ReplaceFile(output.temporary, output.target); code != 0) {
            return Fail(kFailed, output.target + ": cannot rename it into place (" + SystemError(code) + ")");
        }
        output.temporary.clear();
    }
    expansion.Keep();
    return kDone;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || !IsAllFilesSwitch(argv[1])) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    // Its files may lie deeper below the directory than the system's ordinary path length allows.
    return Expand(argv[2], zarn::platform::ExtendedLengthPath(argv[3]));
}
