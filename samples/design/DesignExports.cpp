// The Quillorna design control's library exports. DllRegisterServer registers the control from wherever it was
// unpacked, and the geometry library's class beside it, so that the launcher finds both installed versions;
// ZarnCreateDesignControl makes the control in the launcher's view, opened on the document of the start file.
#include "samples/design/DesignControl.h"
#include "samples/shared/ClassRegistration.h"
#include "view/DesignControlEntry.h"

#include <QFile>
#include <cstdint>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <type_traits>

namespace {

constexpr std::int32_t kOk = 0;
// SELFREG_E_CLASS: the classes could not be registered.
constexpr std::int32_t kClassFailed = static_cast<std::int32_t>(0x80040201u);

// This library's own file, as it was loaded.
std::filesystem::path OwnPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&OwnPath), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
    return error ? std::filesystem::path() : path.lexically_normal();
}

// The document the launcher hands over: the start file in temp/ of the application directory, the folder above
// the control's own. Empty when there is none.
QString StartDocument() {
    const std::filesystem::path self = OwnPath();
    if (self.empty())
        return {};
    QFile file(QString::fromStdString((self.parent_path().parent_path() / "temp" / "startfile.txt").string()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
    const std::filesystem::path self = OwnPath();
    if (self.empty()) {
        return kClassFailed;
    }
    // The control lies in its own folder under the application directory; the geometry library in another.
    const std::filesystem::path geometry = self.parent_path().parent_path() / GEOMETRY_DIR / GEOMETRY_FILE;
    const quillorna::ClassRegistration classes[] = {
        {DESIGN_CLSID, "Quillorna Design Control", "Quillorna.Design.1", self.string(), "Apartment"},
        {GEOMETRY_CLSID, "Quillorna Geometry Library", "Quillorna.Geometry.1", geometry.string(), "Both"},
    };
    for (const auto& entry : classes) {
        if (quillorna::RegisterClass(entry) != ERROR_SUCCESS) {
            return kClassFailed;
        }
    }
    return kOk;
}

extern "C" __attribute__((visibility("default"))) QWidget* ZarnCreateDesignControl(QWidget* parent) {
    static_assert(std::is_same_v<decltype(&ZarnCreateDesignControl), zarn::DesignControlFactory>);
    return new quillorna::DesignControl(StartDocument(), parent);
}
