// The desktop launcher of a build without the GUI: such a build has the console mode only.
#include "app/DesktopLauncher.h"
#include "res/StringTable.h"

#include <cstdio>

namespace zarn {

int RunDesktopLauncher(int, char**) {
    std::fprintf(stderr, "%s\n", LoadString(IDS_NO_WINDOW).c_str());
    return 1;
}

} // namespace zarn
