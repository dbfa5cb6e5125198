// The whole registry that the tests' roots hold, as text, for comparing it before and after an operation.
#pragma once

#include <string>

namespace zarn::test {

// Every key below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, one a line with its path, and below each its values with
// their type and bytes, in enumeration order. Test thread only.
std::string RegistryDump();

} // namespace zarn::test
