// The Win32 registry functions: advapi32 on Windows, libzarn_registry on POSIX.
#pragma once

#include <ZarnRegistryApi.h>
