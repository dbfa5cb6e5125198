// The numbers of the launcher's commands, dialog templates and child windows. Each is written here once.
#pragma once

namespace zarn {

// Commands of the menu and the accelerator keys.
enum CommandId : unsigned {
    ID_DESIGN = 32773,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_APP_ABOUT = 57664,
    ID_VIEW_STATUS_BAR = 59393,
};

// Dialog templates.
enum TemplateId : unsigned {
    IDD_ABOUTBOX = 100,
    IDD_START = 236,
};

// Child windows, found by these numbers in the "controlId" property of their widgets.
enum ControlId : unsigned {
    IDOK_BUTTON = 1,
    IDC_UPDATE = 1005,
    IDC_PRODUCT_LINE = 1020,
    IDC_CONTACT_LINE = 1021,
    IDC_COMPONENT_LIST = 1234,
    IDC_DESIGN_CONTROL = 4321,
};

// The property that carries a child window's ControlId.
inline constexpr const char* kControlIdProperty = "controlId";

} // namespace zarn
