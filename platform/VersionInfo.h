// The Win32 version-information functions: version.dll on Windows, our own PE and ELF reader on POSIX.
#pragma once

#include <ZarnVersionApi.h>
