// The main window's menu bar and accelerator keys as data, which each front end turns into its own menus.
#pragma once

#include "res/ResourceIds.h"
#include "res/StringIds.h"

#include <span>

namespace zarn {

// The string id of a command without a prompt.
inline constexpr StringId kNoPrompt = static_cast<StringId>(0);

// A command on the menu. `prompt` names the string table's "status-bar text\ntooltip".
struct MenuCommand {
    CommandId id;
    const char* text; // with its & mnemonic
    StringId prompt;
    bool checked; // shows a check mark when the window opens
};

// One item of the menu bar: a popup named `popupText` holding `commands`, or, when `popupText` is null, the single
// command of `commands` placed on the bar itself.
struct MenuBarItem {
    const char* popupText;
    std::span<const MenuCommand> commands;
};

// Modifier bits of an accelerator.
enum AcceleratorModifier : unsigned {
    kAccelControl = 1,
    kAccelShift = 2,
    kAccelAlt = 4,
};

// A key that runs `command` anywhere in the main window: `key` is an upper-case letter or a digit.
struct Accelerator {
    CommandId command;
    unsigned modifiers;
    char key;
};

// The menu bar, left to right. Any thread.
std::span<const MenuBarItem> MainMenu();

// The main window's accelerator keys. Keys the window does not handle are absent, so that they reach the focused
// child. Any thread.
std::span<const Accelerator> MainAccelerators();

} // namespace zarn
