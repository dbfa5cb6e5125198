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
    IDD_DOWNLOAD = 224,
    IDD_START = 236,
    IDD_CREDENTIALS = 238,
};

// Pictures: the application's icon (the number its string and menu share) and the download's animation clip.
enum ImageId : unsigned {
    IDI_MAINFRAME = 128,
    IDR_DOWNLOAD_CLIP = 226,
};

// Child windows, found by these numbers in the "controlId" property of their widgets. A number is unique within its
// dialog; the items no code asks for by number have one too, so that each front end places every item by its id.
enum ControlId : unsigned {
    IDOK_BUTTON = 1,
    IDCANCEL_BUTTON = 2,
    // The start dialog.
    IDC_UPDATE = 1005,
    IDC_START_PROMPT = 1006,
    // The about box.
    IDC_PRODUCT_LINE = 1020,
    IDC_CONTACT_LINE = 1021,
    IDC_ABOUT_ICON = 1022,
    IDC_COPYRIGHT = 1023,
    IDC_UNSIGNED_LISTS = 1024,
    // The download dialog.
    IDC_ANIMATION = 1000,
    IDC_STATUS_LINE = 1001,
    IDC_SOURCE_LINE = 1002,
    IDC_PROGRESS = 1003,
    IDC_TIME_LEFT = 1004,
    IDC_RATE = 1005,
    IDC_TIME_LEFT_LABEL = 1010,
    IDC_RATE_LABEL = 1011,
    // The credentials prompt.
    IDC_CREDENTIALS_PROMPT = 1030,
    IDC_USER_NAME_LABEL = 1031,
    IDC_USER_NAME = 1032,
    IDC_PASSWORD_LABEL = 1033,
    IDC_PASSWORD = 1034,
    // The main window's view.
    IDC_COMPONENT_LIST = 1234,
    IDC_DESIGN_CONTROL = 4321,
};

// The property that carries a child window's ControlId.
inline constexpr const char* kControlIdProperty = "controlId";

} // namespace zarn
