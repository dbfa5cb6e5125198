#include "res/DialogTable.h"

#include <algorithm>

namespace zarn {

namespace {

using enum DialogItemKind;

constexpr DialogItem kStartItems[] = {
    {IDC_START_PROMPT, StaticText, IDS_START_PROMPT, kNoImage, {16, 12, 117, 8}, kItemCentred},
    {IDOK_BUTTON, DefaultPushButton, IDS_START_DESIGN, kNoImage, {16, 31, 117, 17}, kItemWraps | kItemTabStop},
    {IDC_UPDATE, PushButton, IDS_START_UPDATE, kNoImage, {16, 59, 117, 19}, kItemWraps | kItemTabStop},
};

constexpr DialogItem kAboutItems[] = {
    {IDC_ABOUT_ICON, Icon, kNoText, IDI_MAINFRAME, {11, 17, 20, 20}, kItemPlain},
    {IDC_PRODUCT_LINE, ReadOnlyEdit, kNoText, kNoImage, {40, 13, 188, 12}, kItemTabStop},
    {IDC_CONTACT_LINE, StaticText, kNoText, kNoImage, {40, 30, 151, 8}, kItemPlain},
    {IDC_COPYRIGHT, StaticText, IDS_ABOUT_COPYRIGHT, kNoImage, {40, 46, 110, 8}, kItemPlain},
    // Shown only by a build without vendor keys, below the box's own items: the box grows to hold it.
    {IDC_UNSIGNED_LISTS, StaticText, IDS_ABOUT_UNSIGNED, kNoImage, {11, 60, 217, 16}, kItemWraps | kItemHidden},
    {IDOK_BUTTON, DefaultPushButton, IDS_OK, kNoImage, {178, 40, 50, 14}, kItemTabStop},
};

// File names and host names go into the lines as they are, '&' included.
constexpr DialogItem kDownloadItems[] = {
    {IDC_ANIMATION, Animation, kNoText, IDR_DOWNLOAD_CLIP, {7, 7, 192, 32}, kItemTransparent},
    {IDC_STATUS_LINE, StaticText, kNoText, kNoImage, {7, 47, 214, 8}, kItemNoPrefix},
    {IDC_SOURCE_LINE, StaticText, kNoText, kNoImage, {7, 60, 214, 8}, kItemNoPrefix},
    {IDC_PROGRESS, ProgressBar, kNoText, kNoImage, {7, 74, 214, 10}, kItemPlain},
    {IDC_TIME_LEFT_LABEL, StaticText, IDS_TIME_LEFT_LABEL, kNoImage, {7, 91, 60, 8}, kItemNoPrefix},
    {IDC_TIME_LEFT, StaticText, kNoText, kNoImage, {79, 91, 142, 8}, kItemNoPrefix},
    {IDC_RATE_LABEL, StaticText, IDS_RATE_LABEL, kNoImage, {7, 104, 43, 8}, kItemNoPrefix},
    {IDC_RATE, StaticText, kNoText, kNoImage, {80, 104, 141, 8}, kItemNoPrefix},
    // The close box is the way to stop a download: this button is never shown.
    {IDCANCEL_BUTTON, DefaultPushButton, IDS_CANCEL, kNoImage, {171, 122, 50, 14}, kItemHidden | kItemDisabled},
};

// As wide as its caption needs; the question names the host, so it has room for three lines.
constexpr DialogItem kCredentialsItems[] = {
    {IDC_CREDENTIALS_PROMPT, StaticText, kNoText, kNoImage, {7, 7, 124, 24}, kItemWraps | kItemNoPrefix},
    {IDC_USER_NAME_LABEL, StaticText, IDS_USER_NAME_LABEL, kNoImage, {7, 36, 40, 8}, kItemPlain},
    {IDC_USER_NAME, Edit, kNoText, kNoImage, {50, 34, 81, 12}, kItemTabStop},
    {IDC_PASSWORD_LABEL, StaticText, IDS_PASSWORD_LABEL, kNoImage, {7, 52, 40, 8}, kItemPlain},
    {IDC_PASSWORD, PasswordEdit, kNoText, kNoImage, {50, 50, 81, 12}, kItemTabStop},
    {IDOK_BUTTON, DefaultPushButton, IDS_OK, kNoImage, {27, 68, 50, 14}, kItemTabStop},
    {IDCANCEL_BUTTON, PushButton, IDS_CANCEL, kNoImage, {81, 68, 50, 14}, kItemTabStop},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_START, IDS_START_CAPTION, 149, 99, 99, kStartItems},
    {IDD_ABOUTBOX, IDS_ABOUT_CAPTION, 235, 66, 82, kAboutItems},
    {IDD_DOWNLOAD, IDS_DOWNLOAD_CAPTION, 228, 143, 143, kDownloadItems},
    {IDD_CREDENTIALS, IDS_CREDENTIALS_CAPTION, 138, 89, 89, kCredentialsItems},
};

} // namespace

std::span<const DialogTemplate> DialogTemplates() {
    return kTemplates;
}

const DialogTemplate* FindDialogTemplate(TemplateId id) {
    const auto* found = std::ranges::find(kTemplates, id, &DialogTemplate::id);
    return found != std::end(kTemplates) ? found : nullptr;
}

const DialogItem* FindDialogItem(const DialogTemplate& dialog, ControlId id) {
    const auto found = std::ranges::find(dialog.items, id, &DialogItem::id);
    return found != dialog.items.end() ? &*found : nullptr;
}

} // namespace zarn
