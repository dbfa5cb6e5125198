// The vendor's public keys that this build accepts component lists from (the ZARN_LIST_KEYS of its
// configuration), as PEM texts. Empty in a build without keys: lists are then read unsigned.
#pragma once

#include <string>
#include <vector>

namespace zarn {

// One or two PEM "PUBLIC KEY" texts (two while the vendor rotates keys). Any thread; never fails.
const std::vector<std::string>& BuiltInListKeys();

} // namespace zarn
