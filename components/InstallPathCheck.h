// Whether the directory and file name that a component list gives stay inside the application directory.
// The list comes from the network, so a hostile "dir=" or download URL must not place files elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

class CCompObj;

// True when the text of `dir`, joined below the application directory, stays inside it: not absolute ("/..." or
// "\..."), no colon (drive letter or stream name), no NUL byte, no ".." segment with either separator (nor a
// segment of only dots and blanks that Windows would read as ".."). An empty `dir` is the application directory
// itself. Looks at the text only; before anything is created, use the overload with the application directory.
// Any thread; never fails.
bool IsSafeInstallDir(std::string_view dir);

// True when `dir` passes the text check above and the directory it names under `appDir`, with the symbolic links
// of its existing part resolved, is still `appDir`'s real path or lies below it: a link inside the application
// directory that leads out of it is refused. Reads the file system; false also when a path cannot be resolved.
// Any thread.
bool IsSafeInstallDir(const std::string& appDir, std::string_view dir);

// True when `fileName` names a file directly in its directory: not ".", "..", no "/" or "\", no colon, no NUL
// byte, and not made only of dots and blanks. Any thread; never fails.
bool IsSafeInstallFileName(std::string_view fileName);

// True when the record's m_dir passes the directory check under `appDir`, its m_fileName passes the file name
// check, and the file they name, links resolved, still lies below `appDir`'s real path; so downloading and
// installing it cannot write outside the application directory. Reads the file system. Any thread.
bool IsSafeToInstall(const CCompObj& record, const std::string& appDir);

// 0 when this user may create files in `directory`, found by creating one and removing it again (so permission
// bits, access lists and read-only mounts all count); a directory not made yet is judged by its nearest existing
// parent. Else the system's code of the refusal. Any thread.
unsigned long WriteRefusalOf(const std::string& directory);

} // namespace zarn
