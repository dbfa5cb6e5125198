// The registry functions on Windows: advapi32's own, with the same names, signatures and error codes that the
// POSIX store exports.
#pragma once

#include "WindowsHeaders.h"
