#include "components/InstallPathCheck.h"

#include "components/CompObj.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <optional>

namespace zarn {

namespace {

// Windows drops trailing dots and blanks from a path segment, so ".. " and "..." can climb like "..";
// refusing every segment made only of dots and blanks (other than a lone ".") covers them all.
bool IsDotSegment(std::string_view segment) {
    if (segment.empty() || segment == ".") {
        return false;
    }
    return segment.find_first_not_of(". ") == std::string_view::npos && segment.find('.') != std::string_view::npos;
}

bool HasForbiddenByte(std::string_view text) {
    return text.find(':') != std::string_view::npos || text.find('\0') != std::string_view::npos;
}

// True when `relative` under `appDir` resolves to `realAppDir` (`appDir`'s real path) or to a path below it. The
// application directory is resolved the same way, so links on the way to it (a linked temp or home directory) do
// not matter.
bool ResolvesInside(const std::string& appDir, const std::string& realAppDir, std::string_view relative) {
    const std::optional<std::string> target =
        platform::ResolvedPath(appDir + platform::PathSeparator() + std::string(relative));
    if (!target) {
        return false;
    }
    if (*target == realAppDir) {
        return true;
    }
    const std::string prefix =
        realAppDir.back() == platform::PathSeparator() ? realAppDir : realAppDir + platform::PathSeparator();
    return target->starts_with(prefix);
}

} // namespace

bool IsSafeInstallDir(std::string_view dir) {
    if (!dir.empty() && (dir.front() == '/' || dir.front() == '\\')) {
        return false;
    }
    if (HasForbiddenByte(dir)) {
        return false;
    }
    size_t start = 0;
    while (start <= dir.size()) {
        const size_t end = dir.find_first_of("/\\", start);
        const std::string_view segment = dir.substr(start, end == std::string_view::npos ? end : end - start);
        if (IsDotSegment(segment)) {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return true;
}

bool IsSafeInstallFileName(std::string_view fileName) {
    if (fileName == "." || IsDotSegment(fileName)) {
        return false;
    }
    return fileName.find_first_of("/\\") == std::string_view::npos && !HasForbiddenByte(fileName);
}

bool IsSafeInstallDir(const std::string& appDir, std::string_view dir) {
    if (!IsSafeInstallDir(dir)) {
        return false;
    }
    const std::optional<std::string> realAppDir = platform::ResolvedPath(appDir);
    return realAppDir && ResolvesInside(appDir, *realAppDir, dir);
}

bool IsSafeToInstall(const CCompObj& record, const std::string& appDir) {
    if (!IsSafeInstallDir(record.m_dir) || !IsSafeInstallFileName(record.m_fileName)) {
        return false;
    }
    const std::optional<std::string> realAppDir = platform::ResolvedPath(appDir);
    // The file itself may be a link (left by an earlier install or planted beside it) that a download would
    // write through, so its own path is resolved too, not only its directory's.
    return realAppDir && ResolvesInside(appDir, *realAppDir, record.m_dir) &&
           ResolvesInside(appDir, *realAppDir, record.m_dir + platform::PathSeparator() + record.m_fileName);
}

unsigned long WriteRefusalOf(const std::string& directory) {
    const char sep = platform::PathSeparator();
    const char* separators = sep == '\\' ? "\\/" : "/";
    std::string existing = directory;
    while (existing.size() > 1 && std::string_view(separators).find(existing.back()) != std::string_view::npos) {
        existing.pop_back();
    }
    while (!platform::PathExists(existing)) {
        const std::size_t cut = existing.find_last_of(separators);
        if (cut == std::string::npos || cut == 0) {
            break;
        }
        existing.erase(cut);
    }
    // Named as a download's temporary is: one a kill leaves behind is swept with them.
    platform::File probe;
    std::string created;
    if (const unsigned long code = probe.CreateBeside(existing + sep + "zarn-write-check", created); code != 0) {
        return code;
    }
    static_cast<void>(probe.Close());
    static_cast<void>(platform::RemoveFile(created));
    return 0;
}

} // namespace zarn
