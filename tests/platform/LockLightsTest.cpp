// The lock keys' state from a folder laid out as the kernel lays out its keyboard lights.
#include "platform/posix/LockLights.h"

#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace zarn::platform {
namespace {

void Light(const std::filesystem::path& dir, const std::string& name, const std::string& brightness) {
    std::filesystem::create_directories(dir / name);
    std::ofstream(dir / name / "brightness") << brightness;
}

TEST(LockLights, AKeyIsOnWhenAnyKeyboardsLightForItIsLit) {
    test::TempDir dir;
    const auto& leds = dir.Path();
    Light(leds, "input3::capslock", "0\n");
    Light(leds, "input7::capslock", "1\n");
    Light(leds, "input3::numlock", "0\n");
    Light(leds, "input3::scrolllock", "255\n");
    // Lights of other kinds, and one whose name only resembles a lock key's, count for nothing.
    Light(leds, "input3::numlock-extra", "1\n");
    Light(leds, "phy0-led", "1\n");
    std::filesystem::create_directories(leds / "input9::numlock"); // no brightness file
    const LockKeyState state = ReadLockLights(leds);
    EXPECT_TRUE(state.capsLock);
    EXPECT_FALSE(state.numLock);
    EXPECT_TRUE(state.scrollLock);

    const LockKeyState none = ReadLockLights(leds / "missing");
    EXPECT_FALSE(none.capsLock || none.numLock || none.scrollLock);
}

} // namespace
} // namespace zarn::platform
