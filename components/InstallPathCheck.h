// Whether the directory and file name that a component list gives stay inside the application directory.
// The list comes from the network, so a hostile "dir=" or download URL must not place files elsewhere.
#pragma once

#include <string_view>

namespace zarn {

class CCompObj;

// True when `dir`, joined below the application directory, stays inside it: not absolute ("/..." or "\..."),
// no colon (drive letter or stream name), no NUL byte, no ".." segment with either separator (nor a segment of
// only dots and blanks that Windows would read as ".."). An empty `dir` is the application directory itself.
// Any thread; never fails.
bool IsSafeInstallDir(std::string_view dir);

// True when `fileName` names a file directly in its directory: not ".", "..", no "/" or "\", no colon, no NUL
// byte, and not made only of dots and blanks. Any thread; never fails.
bool IsSafeInstallFileName(std::string_view fileName);

// True when the record's m_dir and m_fileName both pass the checks above, so that downloading and installing it
// cannot write outside the application directory. Any thread; never fails.
bool IsSafeToInstall(const CCompObj& record);

} // namespace zarn
