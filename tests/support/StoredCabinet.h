// Writes a cabinet byte for byte, its data stored uncompressed: entry names go in exactly as given, which
// cabinet tools do not allow, so tests can make cabinets with hostile names.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zarn::test {

// A one-folder cabinet holding each (name, content) entry in order; data blocks carry no checksum (0).
std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& entries);

} // namespace zarn::test
