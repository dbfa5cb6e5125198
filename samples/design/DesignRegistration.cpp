// The design control's registration: DllRegisterServer registers the control from wherever it was unpacked, and
// the geometry library's class beside it, so that the launcher finds both installed versions; DllUnregisterServer
// removes both again. No toolkit here: every skin of the control registers the same way.
#include "samples/design/DesignModule.h"
#include "samples/shared/ClassRegistration.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

constexpr std::int32_t kOk = 0;
// SELFREG_E_CLASS: the classes could not be registered.
constexpr std::int32_t kClassFailed = static_cast<std::int32_t>(0x80040201u);

constexpr const char* kDesignProgId = "Quillorna.Design.1";
constexpr const char* kGeometryProgId = "Quillorna.Geometry.1";

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
        {DESIGN_CLSID, "Quillorna Design Control", kDesignProgId, control, "Apartment"},
        {GEOMETRY_CLSID, "Quillorna Geometry Library", kGeometryProgId, geometry, "Both"},
    };
    for (const auto& entry : classes) {
        if (quillorna::RegisterClass(entry) != ERROR_SUCCESS) {
            return kClassFailed;
        }
    }
    return kOk;
}

QUILLORNA_DESIGN_EXPORT std::int32_t DllUnregisterServer() {
    const bool removed = quillorna::RemoveClass(DESIGN_CLSID, kDesignProgId) == ERROR_SUCCESS &&
                         quillorna::RemoveClass(GEOMETRY_CLSID, kGeometryProgId) == ERROR_SUCCESS;
    return removed ? kOk : kClassFailed;
}
