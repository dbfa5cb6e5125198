// The dialogs' templates as data: each dialog's caption, size and items in dialog units, without toolkit types. The
// Qt front end places its widgets from them; a Windows front end builds its dialog templates from them.
#pragma once

#include "res/ResourceIds.h"
#include "res/StringIds.h"

#include <span>

namespace zarn {

// Every template is a modal popup with a caption and a system menu (so it has a close box), laid out in this font;
// its dialog units are measured in it.
inline constexpr const char* kDialogFontFace = "MS Sans Serif";
inline constexpr int kDialogFontPoints = 8;

// The string id of an item whose text is set at run time, or that shows a picture.
inline constexpr StringId kNoText = static_cast<StringId>(0);
// The picture id of an item that shows none.
inline constexpr ImageId kNoImage = static_cast<ImageId>(0);

enum class DialogItemKind {
    PushButton,
    DefaultPushButton,
    StaticText, // left-aligned unless kItemCentred
    Edit,
    ReadOnlyEdit,
    PasswordEdit,
    Icon,        // shows `image`
    ProgressBar, // with a border
    Animation,   // plays clip `image`
};

// An item's style beyond its kind.
enum DialogItemStyle : unsigned {
    kItemPlain = 0,
    kItemCentred = 1u << 0,     // static text centred
    kItemWraps = 1u << 1,       // the text breaks onto further lines where the item is too narrow
    kItemNoPrefix = 1u << 2,    // '&' shows as itself instead of marking a mnemonic
    kItemTabStop = 1u << 3,     // reached with the Tab key
    kItemHidden = 1u << 4,      // created hidden
    kItemDisabled = 1u << 5,    // created disabled
    kItemTransparent = 1u << 6, // an animation drawn on the dialog's own background
};

// A rectangle in dialog units: left, top, width, height.
struct DialogRect {
    int x;
    int y;
    int width;
    int height;
};

struct DialogItem {
    ControlId id;
    DialogItemKind kind;
    StringId text; // kNoText when set at run time
    ImageId image; // kNoImage but for an icon or an animation
    DialogRect rect;
    unsigned style; // DialogItemStyle bits
};

// A dialog; items in creation order, which is the Tab key's order. Items created hidden are shown only on demand,
// and the dialog then grows to `grownHeight` (`height` when it never grows).
struct DialogTemplate {
    TemplateId id;
    StringId caption;
    int width;
    int height;
    int grownHeight;
    std::span<const DialogItem> items;
};

// Every dialog's template. Any thread.
std::span<const DialogTemplate> DialogTemplates();

// Template `id`; null when there is none. Any thread.
const DialogTemplate* FindDialogTemplate(TemplateId id);

// Item `id` of `dialog`; null when it has none. Any thread.
const DialogItem* FindDialogItem(const DialogTemplate& dialog, ControlId id);

} // namespace zarn
