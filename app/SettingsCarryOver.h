// Earlier launchers kept their settings where Qt put them: in the registry on Windows, which is where they are kept
// now, but elsewhere in the file Ostrevant/zarn.conf in the user's configuration folder, in Qt's INI format. Such a
// file is carried over into the registry once, then renamed so that it is never read again.
#pragma once

#include <string>

namespace zarn {

// The suffix the carried-over file gets, beside its old name.
inline constexpr const char* kCarriedOverSuffix = ".carried-over";

// The earlier launchers' settings file in the user's configuration folder; empty when the environment names no
// such folder. It need not exist.
std::string FormerSettingsFile();

// When `path` exists, stores its caFile and its recent documents (File1 to File`maxRecentFiles`) in the settings,
// in place of the stored ones as the earlier launchers read the file's, then renames it to path +
// kCarriedOverSuffix. Returns 1 when there was no file or it was carried over and renamed; 0 when it could not be
// read, stored or renamed (a file that could not be stored stays, to be carried over by a later run). UI thread.
int CarryOverSettingsFile(const std::string& path, int maxRecentFiles);

} // namespace zarn
