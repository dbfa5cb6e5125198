// The version-information functions on Windows: version.dll's own (GetUserDefaultLangID: kernel32's).
#pragma once

#include "WindowsHeaders.h"

#include <winver.h>
