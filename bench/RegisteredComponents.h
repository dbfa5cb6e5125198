// The components the benchmarks detect: registered, version-bearing and listed at their installed versions.
#pragma once

#include <filesystem>
#include <string>

namespace zarn::bench {

// Major 1 to 3, minor 0 to 4: the list names the same two numbers, so the record reads CURRENT.
struct Version {
    int major;
    int minor;
    std::string text;
};

// The version of the i-th component.
Version VersionOf(int i);

// The i-th record's first lines, up to its "dir=" line.
std::string RecordHead(int i, const Version& version, const std::string& dir);

// Writes `count` components into appDir/comp (three of four controls registered in the ZARN_REGISTRY database with
// their server file, one of four an application file) and the list of them at `listPath`, each at its installed
// version. False when something could not be written.
bool WriteRegisteredComponents(const std::filesystem::path& appDir, const std::filesystem::path& listPath, int count);

} // namespace zarn::bench
