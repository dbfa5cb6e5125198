// The application icon (icon 128): our artwork, res/icons/quillorna.svg, rendered at every size from 16 to 256
// pixels at build time and compiled into the window's resources.
#pragma once

#include <QIcon>

namespace zarn {

// The icon with all its sizes, so that each window and screen scale picks a drawn one rather than a scaled
// one. UI thread.
QIcon AppIcon();

} // namespace zarn
