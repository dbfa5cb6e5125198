// Where a vendor repository keeps its files (the paths the launcher fetches), and what build and verify both
// need to know of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zarn {

// The list at the launcher's fixed path, its signature beside it, and the components' folder, under the
// repository's root.
std::filesystem::path ListFileIn(const std::filesystem::path& root);
std::filesystem::path SignatureFileIn(const std::filesystem::path& root);
std::filesystem::path ComponentsFolderIn(const std::filesystem::path& root);
// The URL path of the components' folder, from the server's root.
inline constexpr const char* kComponentsUrlPath = "/quillornacc/components/";

struct FileDigest {
    std::string sha256; // 64 lower-case hex digits
    std::uint64_t size = 0;
};
// The SHA-256 and size of the file at `path`; nullopt when it cannot be read whole.
std::optional<FileDigest> DigestOfFile(const std::filesystem::path& path);

// Writes `bytes` beside `path` and renames the copy into place, so a server never serves half a file. False when
// either step failed (nothing is left beside it then).
bool WriteFileInPlace(const std::filesystem::path& path, const std::string& bytes);

// `seconds` since the epoch as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcText(std::int64_t seconds);

} // namespace zarn
