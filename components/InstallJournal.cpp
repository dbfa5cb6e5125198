#include "components/InstallJournal.h"

#include "components/InstallPathCheck.h"
#include "platform/CrashPoint.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>

namespace zarn {

namespace {

constexpr std::string_view kMagic = "zarn-install-journal 1";
constexpr std::string_view kPrefix = "zarn-install-";
constexpr std::string_view kSuffix = ".journal";
// A journal names a cabinet's files; far below this.
constexpr std::uint64_t kJournalSizeCap = 16u << 20;

// One field: its key, a blank, the value's length, a colon, the value's bytes, a line end. Paths may hold any
// byte their system allows, line ends too, so values are counted, never delimited.
void Put(std::string& text, std::string_view key, std::string_view value) {
    text.append(key).append(" ").append(std::to_string(value.size())).append(":").append(value).append("\n");
}

class FieldReader {
public:
    explicit FieldReader(std::string_view text) : m_text(text) {}

    // The next field's value when its key is `key`.
    std::optional<std::string> Take(std::string_view key) {
        if (!m_text.starts_with(key) || m_text.substr(key.size(), 1) != " ") {
            return std::nullopt;
        }
        std::string_view rest = m_text.substr(key.size() + 1);
        const std::size_t colon = rest.find(':');
        if (colon == 0 || colon > 8 || rest.substr(0, colon).find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        const std::size_t length = std::stoul(std::string(rest.substr(0, colon)));
        rest = rest.substr(colon + 1);
        if (rest.size() < length + 1 || rest[length] != '\n') {
            return std::nullopt;
        }
        std::string value(rest.substr(0, length));
        m_text = rest.substr(length + 1);
        return value;
    }
    bool AtKey(std::string_view key) const { return m_text.starts_with(std::string(key) + " "); }

private:
    std::string_view m_text;
};

std::optional<InstallJournal::State> StateNamed(std::string_view name) {
    for (const InstallJournal::State state : {InstallJournal::State::Staging, InstallJournal::State::Staged,
                                              InstallJournal::State::Swapped, InstallJournal::State::Committed}) {
        if (name == InstallJournal::StateName(state)) {
            return state;
        }
    }
    return std::nullopt;
}

// The part of `path` below `appDir`, or nullopt when it is not below it.
std::optional<std::string> Relative(const std::string& appDir, const std::string& path) {
    if (!path.starts_with(appDir) || path.size() == appDir.size() || !IsSafeInstallDir(path.substr(appDir.size()))) {
        return std::nullopt;
    }
    return path.substr(appDir.size());
}

// The folder of `path`: everything before its last separator.
std::string FolderOf(const std::string& path) {
    const std::size_t last = path.find_last_of(platform::PathSeparator());
    return last == std::string::npos ? std::string(".") : path.substr(0, last);
}

std::string Describe(const std::string& path, unsigned long code) {
    return path + " (error " + std::to_string(code) + ")";
}

} // namespace

const char* InstallJournal::StateName(State state) {
    switch (state) {
    case State::Staging:
        return "staging";
    case State::Staged:
        return "staged";
    case State::Swapped:
        return "swapped";
    case State::Committed:
        return "committed";
    }
    return "staging";
}

std::string InstallJournal::NewInstallId() {
    // The suffix's letters are random per process and counted within it; the time keeps ids of runs apart too.
    return std::to_string(static_cast<long long>(std::time(nullptr))) + "-" + platform::UniqueFileSuffix().substr(6);
}

std::string InstallJournal::PathOf(const std::string& appDir, const std::string& installId) {
    return appDir + "complist" + platform::PathSeparator() + std::string(kPrefix) + installId + std::string(kSuffix);
}

std::vector<std::string> InstallJournal::FindAll(const std::string& appDir) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code error;
    const std::string folder = appDir + "complist";
    for (fs::directory_iterator it(fs::path(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(kPrefix) && name.ends_with(kSuffix) && name.size() > kPrefix.size() + kSuffix.size()) {
            found.push_back(folder + platform::PathSeparator() + name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<InstallJournal> InstallJournal::Read(const std::string& path) {
    const std::optional<std::string> text = platform::ReadWholeFile(path, kJournalSizeCap);
    if (!text || !text->starts_with(std::string(kMagic) + "\n")) {
        return std::nullopt;
    }
    FieldReader reader(std::string_view(*text).substr(kMagic.size() + 1));
    InstallJournal journal;
    const auto component = reader.Take("component");
    const auto id = reader.Take("id");
    const auto type = reader.Take("type");
    const auto state = reader.Take("state");
    if (!component || !id || !type || !state || !StateNamed(*state)) {
        return std::nullopt;
    }
    journal.component = *component;
    journal.installId = *id;
    journal.installType = *type;
    journal.state = *StateNamed(*state);
    while (reader.AtKey("target")) {
        File file;
        const auto target = reader.Take("target");
        const auto staged = reader.Take("staged");
        const auto aside = reader.Take("aside");
        const auto previous = reader.Take("previous");
        if (!target || !staged || !aside || !previous || (*previous != "0" && *previous != "1")) {
            return std::nullopt;
        }
        // A damaged or planted journal must not make recovery move or delete anything outside the directory.
        for (const std::string* relative : {&*target, &*staged, &*aside}) {
            if (relative->empty() || !IsSafeInstallDir(*relative)) {
                return std::nullopt;
            }
        }
        journal.files.push_back(File{*target, *staged, *aside, *previous == "1"});
    }
    if (!reader.Take("end")) {
        return std::nullopt;
    }
    return journal;
}

unsigned long InstallJournal::Write(const std::string& path) const {
    std::string text = std::string(kMagic) + "\n";
    Put(text, "component", component);
    Put(text, "id", installId);
    Put(text, "type", installType);
    Put(text, "state", StateName(state));
    for (const File& file : files) {
        Put(text, "target", file.target);
        Put(text, "staged", file.staged);
        Put(text, "aside", file.aside);
        Put(text, "previous", file.hadPrevious ? "1" : "0");
    }
    Put(text, "end", "");

    platform::File out;
    std::string temporary;
    if (const unsigned long code = out.CreateBeside(path, temporary); code != 0) {
        return code;
    }
    unsigned long code = out.Write(text.data(), text.size());
    if (code == 0) {
        code = out.Sync();
    }
    if (const unsigned long closed = out.Close(); code == 0) {
        code = closed;
    }
    if (code == 0) {
        code = platform::ReplaceFile(temporary, path);
    }
    if (code != 0) {
        platform::RemoveFile(temporary);
        return code;
    }
    return platform::SyncDirectory(FolderOf(path));
}

bool InstallJournal::AddFile(const std::string& appDir, const std::string& target, const std::string& staged) {
    const std::optional<std::string> relativeTarget = Relative(appDir, target);
    const std::optional<std::string> relativeStaged = Relative(appDir, staged);
    if (!relativeTarget || !relativeStaged) {
        return false;
    }
    files.push_back(File{*relativeTarget, *relativeStaged, *relativeTarget + ".zarn-aside-" + installId,
                         platform::PathExists(target)});
    return true;
}

int InstallJournal::Swap(const std::string& appDir, const std::string& crashPrefix, std::string& failedTarget,
                         unsigned long& error) {
    std::set<std::string> folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const File& file = files[i];
        const std::string target = appDir + file.target;
        const std::string number = std::to_string(i + 1);
        // Never replacing: a previous file goes aside under a name of its own, and the new one takes a free name.
        if (file.hadPrevious) {
            if ((error = platform::RenameFile(target, appDir + file.aside)) != 0) {
                failedTarget = target;
                return 0;
            }
            platform::CrashPoint(crashPrefix + "aside-" + number);
        }
        if ((error = platform::RenameFile(appDir + file.staged, target)) != 0) {
            failedTarget = target;
            return 0;
        }
        platform::CrashPoint(crashPrefix + "placed-" + number);
        folders.insert(FolderOf(target));
    }
    for (const std::string& folder : folders) {
        if ((error = platform::SyncDirectory(folder)) != 0) {
            failedTarget = folder;
            return 0;
        }
    }
    // Each target must now be the file that was staged: one the system put back or that something else took
    // would leave a half-new component behind a successful install.
    for (const File& file : files) {
        if (!platform::FileExists(appDir + file.target) || platform::PathExists(appDir + file.staged) ||
            file.hadPrevious != platform::PathExists(appDir + file.aside)) {
            failedTarget = appDir + file.target;
            error = 0;
            return 0;
        }
    }
    return 1;
}

int InstallJournal::Undo(const std::string& appDir, std::string& problem) const {
    std::set<std::string> folders;
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        const std::string target = appDir + file->target;
        const std::string staged = appDir + file->staged;
        const std::string aside = appDir + file->aside;
        folders.insert(FolderOf(target));
        if (file->hadPrevious) {
            // Put aside, the target is missing or holds the new file (its staged one gone); either way the previous
            // one goes back. A target and a staged file both still there were never swapped: a file at the aside
            // name then is not ours.
            if (platform::PathExists(aside) && !(platform::PathExists(target) && platform::PathExists(staged))) {
                if (const unsigned long code = platform::ReplaceFile(aside, target); code != 0) {
                    problem = Describe(target, code);
                    return 0;
                }
            }
        } else if (!platform::PathExists(staged) && platform::PathExists(target) && !platform::RemoveFile(target)) {
            // Without a staged file left, a target that had no previous version is the new file.
            problem = Describe(target, platform::LastErrorCode());
            return 0;
        }
        if (platform::PathExists(staged) && !platform::RemoveFile(staged)) {
            problem = Describe(staged, platform::LastErrorCode());
            return 0;
        }
    }
    for (const std::string& folder : folders) {
        if (const unsigned long code = platform::SyncDirectory(folder); code != 0) {
            problem = Describe(folder, code);
            return 0;
        }
    }
    return 1;
}

int InstallJournal::Finish(const std::string& appDir, std::string& problem) const {
    int done = 1;
    for (const File& file : files) {
        for (const std::string* leftover : {&file.aside, &file.staged}) {
            const std::string path = appDir + *leftover;
            if (platform::PathExists(path) && !platform::RemoveFile(path) && done == 1) {
                problem = Describe(path, platform::LastErrorCode());
                done = 0;
            }
        }
    }
    return done;
}

} // namespace zarn
