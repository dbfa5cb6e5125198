// The design control's registration: DllRegisterServer registers the control from wherever it was unpacked, and
// the geometry library's class beside it, so that the launcher finds both installed versions. No Qt here: a build
// without the control's window (the Windows build without Qt) still registers both.
#include "samples/design/DesignModule.h"
#include "samples/shared/ClassRegistration.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

constexpr std::int32_t kOk = 0;
// SELFREG_E_CLASS: the classes could not be registered.
constexpr std::int32_t kClassFailed = static_cast<std::int32_t>(0x80040201u);

} // namespace

QUILLORNA_DESIGN_EXPORT std::int32_t DllRegisterServer() {
    const std::filesystem::path self = quillorna::DesignModuleFile();
    // The control lies in its own folder under the application directory; the geometry library in another.
    const std::string control = quillorna::RegistryText(self);
    const std::string geometry =
        quillorna::RegistryText(self.parent_path().parent_path() / GEOMETRY_DIR / GEOMETRY_FILE);
    if (control.empty() || geometry.empty()) {
        return kClassFailed;
    }
    const quillorna::ClassRegistration classes[] = {
        {DESIGN_CLSID, "Quillorna Design Control", "Quillorna.Design.1", control, "Apartment"},
        {GEOMETRY_CLSID, "Quillorna Geometry Library", "Quillorna.Geometry.1", geometry, "Both"},
    };
    for (const auto& entry : classes) {
        if (quillorna::RegisterClass(entry) != ERROR_SUCCESS) {
            return kClassFailed;
        }
    }
    return kOk;
}
