// Where the update check fetches the files of the vendor's repository from. The server given to the launcher may be a
// web server ("http[s]://host[:port]") or a folder holding a copy of the vendor's published repository ("file:///DIR",
// see LauncherOptions). A list names its files by the vendor's web server, wherever the vendor published it; a copy of
// the repository keeps every file at the same path under its root, the paths zarn-publish verify checks. So a
// folder's list and components are read from that path under the folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// True when `url`'s scheme is "file" (any case). Any thread.
bool IsFileUrl(std::string_view url);

// A folder holding a copy of the vendor's repository, given as a path or a file URL, as a server: its file URL
// without a trailing "/", made absolute so that it means the same folder whatever directory the launcher runs in.
// nullopt when it names no existing folder. Reads the file system. Any thread.
std::optional<std::string> FolderServerUrl(const std::string& text);

// The URL of the file that an http or https `url` names, under `server` (no trailing "/"): the server followed by the
// URL's path, its query and fragment dropped. Any other URL (file:, ftp:, a text that is no URL) stands as it is.
// nullopt when the path holds a "." or ".." segment, or a "\" or an escaped "/", "\" or ".", any of which could lead
// out of the server's root in a folder. Any thread.
std::optional<std::string> UrlUnderServer(const std::string& url, const std::string& server);

} // namespace zarn
