#include "platform/posix/LockLights.h"

#include <fstream>
#include <string>
#include <system_error>

namespace zarn::platform {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool LightIsOn(const std::filesystem::path& light) {
    std::ifstream file(light / "brightness");
    int brightness = 0;
    return file >> brightness && brightness > 0;
}

} // namespace

LockKeyState ReadLockLights(const std::filesystem::path& lightsDir) {
    LockKeyState state;
    std::error_code error;
    for (std::filesystem::directory_iterator it(lightsDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (EndsWith(name, "::capslock"))
            state.capsLock = state.capsLock || LightIsOn(it->path());
        else if (EndsWith(name, "::numlock"))
            state.numLock = state.numLock || LightIsOn(it->path());
        else if (EndsWith(name, "::scrolllock"))
            state.scrollLock = state.scrollLock || LightIsOn(it->path());
    }
    return state;
}

} // namespace zarn::platform
