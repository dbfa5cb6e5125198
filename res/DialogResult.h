// The results a modal dialog ends with, numbered as the platform's dialogs number them. Every dialog, its window in
// any front end and the document's hosts use these.
#pragma once

namespace zarn {

enum DialogResult : int {
    kIdOk = 1,
    kIdCancel = 2,
};

} // namespace zarn
