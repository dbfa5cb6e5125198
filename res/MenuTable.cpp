#include "res/MenuTable.h"

namespace zarn {

namespace {

// "&Design" switches the view and sits on the bar itself; it has no prompt.
constexpr MenuCommand kDesign[] = {
    {ID_DESIGN, "&Design", kNoPrompt, false},
};

constexpr MenuCommand kSettings[] = {
    {ID_VIEW_STATUS_BAR, "&Status Bar", IDS_PROMPT_STATUS_BAR, true},
};

constexpr MenuCommand kHelp[] = {
    {ID_APP_ABOUT, "&About ...", IDS_PROMPT_ABOUT, false},
};

constexpr MenuBarItem kMenuBar[] = {
    {nullptr, kDesign},
    {"&Settings", kSettings},
    {"&Help", kHelp},
};

constexpr Accelerator kAccelerators[] = {
    {ID_FILE_NEW, kAccelControl, 'N'},
    {ID_FILE_OPEN, kAccelControl, 'O'},
    {ID_FILE_SAVE, kAccelControl, 'S'},
    {ID_FILE_PRINT, kAccelControl, 'P'},
};

} // namespace

std::span<const MenuBarItem> MainMenu() {
    return kMenuBar;
}

std::span<const Accelerator> MainAccelerators() {
    return kAccelerators;
}

} // namespace zarn
