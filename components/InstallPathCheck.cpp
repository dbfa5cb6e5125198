#include "components/InstallPathCheck.h"

#include "components/CompObj.h"

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

bool IsSafeToInstall(const CCompObj& record) {
    return IsSafeInstallDir(record.m_dir) && IsSafeInstallFileName(record.m_fileName);
}

} // namespace zarn
