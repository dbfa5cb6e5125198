// Files, directories and the running module's path, as the core needs them.
#pragma once

#include <optional>
#include <string>

namespace zarn::platform {

// The separator the platform's paths use ('/' on POSIX, '\\' on Windows).
char PathSeparator();

// Full path of the running executable; empty when the system cannot tell. Any thread.
std::string ExecutablePath();

// The folder for the user's state files that are kept between runs (logs): $XDG_STATE_HOME, else
// $HOME/.local/state on POSIX; %LOCALAPPDATA% on Windows. It may not exist yet. Empty when the environment names
// none. Any thread.
std::string UserStateDirectory();

// The folder for the user's configuration files: $XDG_CONFIG_HOME, else $HOME/.config on POSIX; %APPDATA% on
// Windows. It may not exist. Empty when the environment names none. Any thread.
std::string UserConfigDirectory();

// Creates the last level of `path` only (its parent must exist). False when it could not be made,
// also when it exists already.
bool CreateDirectoryOne(const std::string& path);

// True when a file or directory of that path exists.
bool PathExists(const std::string& path);

// True when a regular file of that path exists.
bool FileExists(const std::string& path);

// The long form of an existing path (short 8.3 names expanded on Windows; the path itself on POSIX);
// nullopt when the path does not exist or cannot be converted.
std::optional<std::string> LongPathName(const std::string& path);

// The real path that `path` names: its deepest existing ancestor with every symbolic link (and, on Windows,
// junction), "." and ".." resolved by the system, followed by the rest of `path`, which does not exist yet,
// appended lexically. nullopt when the path is empty or the existing part cannot be resolved (a dangling or
// looping link, no permission). Any thread.
std::optional<std::string> ResolvedPath(const std::string& path);

// The form of `path` that every file function of the system takes whatever its length: on Windows the absolute
// "\\?\" form (the path itself when it cannot be made), for code that hands paths to the C++ library; on POSIX
// the path itself. The functions here make that form themselves. Any thread.
std::string ExtendedLengthPath(const std::string& path);

// The local path a file: URL names, from its host and its path (percent escapes already decoded). On POSIX only a
// URL without a host, or with "localhost", names a file here. On Windows "/C:/dir" is the drive path "C:\dir", and
// any other host names a share ("\\host\dir"). nullopt when it names no file of this system. Any thread.
std::optional<std::string> PathOfFileUrl(const std::string& host, const std::string& path);

// The file: URL of the absolute `path`, each "%" written as "%25" (the only escape PathOfFileUrl's caller needs).
// Any thread.
std::string FileUrlOfPath(const std::string& path);

// Deletes a file; false when it could not.
bool RemoveFile(const std::string& path);

// Renames the file `from` to `to` in one step, `to` being a name that must not exist yet: an existing `to` is
// never replaced (the system's code for an existing file comes back instead). A file open in another process is
// renamed where the system allows it (always on POSIX; on Windows only when it was opened with delete sharing).
// Returns 0 or the system's code. Any thread.
[[nodiscard]] unsigned long RenameFile(const std::string& from, const std::string& to);

// Makes the renames, creations and removals of names in the directory `path` durable, so that they survive a
// power loss (POSIX: fsync of the directory; Windows: its renames are written through already). Returns 0 or the
// system's code. Any thread.
[[nodiscard]] unsigned long SyncDirectory(const std::string& path);

// True when `code` is the system's code for a path or name too long for it (ENAMETOOLONG on POSIX,
// ERROR_FILENAME_EXCED_RANGE on Windows). Any thread; never fails.
bool IsPathTooLongError(unsigned long code);

// True when `code` is the system's code for a refusal on rights: the user may not do this there (EACCES, EPERM or
// EROFS on POSIX; ERROR_ACCESS_DENIED or ERROR_WRITE_PROTECT on Windows). Any thread; never fails.
bool IsAccessDeniedError(unsigned long code);

// The code of the calling thread's last failed system call (errno on POSIX, GetLastError on Windows).
unsigned long LastErrorCode();

} // namespace zarn::platform
