// <windows.h> as every Windows source here includes it: Windows 7's API level (SetDefaultDllDirectories,
// LOAD_LIBRARY_SEARCH_*), without the rarely used parts, and without the min/max macros that break <algorithm>.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

#include <windows.h>

// <windows.h> defines these to their "A" or "W" forms, which would rename our own functions of the same name.
#undef ReplaceFile
#undef CreateDirectory
#undef GetUserName
