// The desktop launcher of a build with the window: loads the desktop module from the application directory and
// runs it.
#include "app/DesktopLauncher.h"
#include "app/StartupSteps.h"
#include "platform/Library.h"
#include "res/StringTable.h"

#include <cstdio>
#include <string>

namespace zarn {

int RunDesktopLauncher(int argc, char** argv) {
    const std::string appDir = InitAppDirectory();
    const std::string path = appDir + ZARN_DESKTOP_MODULE;
    platform::Library module;
    const unsigned long code = appDir.empty() ? 2 : module.Load(path);
    using Entry = int (*)(int, char**);
    const auto entry = code == 0 ? reinterpret_cast<Entry>(module.FindFunction("ZarnRunDesktopLauncher")) : nullptr;
    if (entry == nullptr) {
        std::fprintf(stderr, "%s\n", FormatString(IDS_WINDOW_NOT_LOADED, path, std::to_string(code)).c_str());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace zarn
