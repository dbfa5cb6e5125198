// What a design control library exports on systems without ActiveX: one C function that creates the control's
// widget as a child of the launcher's view,
//     extern "C" Q_DECL_EXPORT QWidget* ZarnCreateDesignControl(QWidget* parent);
// The launcher finds the library through the class registration ("CLSID\{id}\InprocServer32") and keeps it
// loaded while the view lives.
#pragma once

class QWidget;

namespace zarn {

// The export's name and type. The function returns the new control, owned by `parent`, or null when it could
// not be made; it runs on the UI thread and shows no window of its own.
inline constexpr const char* kDesignControlFactoryName = "ZarnCreateDesignControl";
using DesignControlFactory = QWidget* (*)(QWidget* parent);

} // namespace zarn
