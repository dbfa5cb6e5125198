// The desktop launcher of a build without the GUI: such a build has the console mode only.
#include "app/DesktopLauncher.h"

#include <cstdio>

namespace zarn {

int RunDesktopLauncher(int, char**) {
    std::fputs("QuillornaCC: this build has no window; use --check or --update (see --help)\n", stderr);
    return 1;
}

} // namespace zarn
