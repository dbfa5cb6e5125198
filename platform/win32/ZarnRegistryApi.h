// The registry functions on Windows: advapi32's own, with the same names, signatures and error codes that the
// POSIX store exports.
#pragma once

#include "WindowsHeaders.h"

// Windows keeps its registry in hives of its own: there is no one database file to name, as the POSIX store's
// ZarnRegGetDatabasePathA does.
inline LONG ZarnRegGetDatabasePathA(LPSTR, LPDWORD) {
    return ERROR_NOT_SUPPORTED;
}
