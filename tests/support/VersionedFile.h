// Writers of small binaries that carry version information, for tests and benchmarks that need many of them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zarn::test {

// Language and code page of one translation, e.g. {0x0409, 0x04B0}.
using Translation = std::pair<uint16_t, uint16_t>;

// Bytes of a minimal 64-bit PE DLL whose version resource has the FileVersion `fileVersionText` in one string
// table per translation and lists every translation under VarFileInfo. Any thread.
std::vector<uint8_t> MakeVersionedPe(const std::string& fileVersionText,
                                     const std::vector<Translation>& translations = {{0x0409, 0x04B0}});

// Writes MakeVersionedPe's bytes to `path` (replacing it); false when the file could not be written. Any thread.
bool WriteVersionedPe(const std::string& path, const std::string& fileVersionText,
                      std::vector<Translation> translations = {{0x0409, 0x04B0}});

// Writes a minimal 64-bit PE DLL without any resources; false when the file could not be written. Any thread.
bool WriteUnversionedPe(const std::string& path);

// Bytes of a minimal little-endian ELF64 shared object with a .note.package section holding the FDO package
// note {"type":"deb","name":packageName,"version":versionText}. Any thread.
std::vector<uint8_t> MakeVersionedElf(const std::string& versionText, const std::string& packageName = "zarn-test");

// Writes MakeVersionedElf's bytes to `path`; false when the file could not be written. Any thread.
bool WriteVersionedElf(const std::string& path, const std::string& versionText,
                       const std::string& packageName = "zarn-test");

// Writes raw bytes to `path` (replacing it); false when the file could not be written. Any thread.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace zarn::test
