// The dialog templates every front end lays its dialogs out from: what a resource compiler would refuse or a user
// would see cut off (an item outside its dialog, two items on one spot or one id, a missing text) must not be in them.
#include "res/DialogTable.h"

#include "res/StringTable.h"

#include <gtest/gtest.h>
#include <set>

namespace zarn {
namespace {

bool Overlap(const DialogRect& a, const DialogRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

TEST(DialogTable, ItemsFitTheirDialogWithUniqueIdsAndTexts) {
    std::set<unsigned> templates;
    for (const DialogTemplate& dialog : DialogTemplates()) {
        SCOPED_TRACE(dialog.id);
        EXPECT_TRUE(templates.insert(dialog.id).second) << "template listed twice";
        EXPECT_EQ(FindDialogTemplate(dialog.id), &dialog);
        EXPECT_FALSE(LoadString(dialog.caption).empty());
        EXPECT_GE(dialog.grownHeight, dialog.height);

        std::set<unsigned> ids;
        int defaults = 0;
        for (const DialogItem& item : dialog.items) {
            SCOPED_TRACE(item.id);
            EXPECT_TRUE(ids.insert(item.id).second) << "id used twice in one dialog";
            EXPECT_EQ(FindDialogItem(dialog, item.id), &item);
            defaults += item.kind == DialogItemKind::DefaultPushButton;
            if (item.text != kNoText) {
                EXPECT_FALSE(LoadString(item.text).empty());
            }
            const bool picture = item.kind == DialogItemKind::Icon || item.kind == DialogItemKind::Animation;
            EXPECT_EQ(item.image != kNoImage, picture);
            EXPECT_TRUE(item.text == kNoText || !picture);

            // Items shown on demand need the grown size; the others fit the dialog as it opens.
            const DialogRect& r = item.rect;
            const int bottom = (item.style & kItemHidden) != 0 ? dialog.grownHeight : dialog.height;
            EXPECT_GT(r.width, 0);
            EXPECT_GT(r.height, 0);
            EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.width <= dialog.width && r.y + r.height <= bottom);
            for (const DialogItem& other : dialog.items) {
                if (&other != &item) {
                    EXPECT_FALSE(Overlap(r, other.rect)) << "overlaps " << other.id;
                }
            }
        }
        EXPECT_EQ(defaults, 1) << "Enter needs exactly one default button";
    }
    for (const TemplateId id : {IDD_START, IDD_ABOUTBOX, IDD_DOWNLOAD, IDD_CREDENTIALS}) {
        EXPECT_NE(FindDialogTemplate(id), nullptr) << id;
    }
    EXPECT_EQ(FindDialogTemplate(static_cast<TemplateId>(1)), nullptr);
}

TEST(DialogTable, AboutBoxGrowsToHoldTheUnsignedListsLine) {
    const DialogTemplate* about = FindDialogTemplate(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    const DialogItem* line = FindDialogItem(*about, IDC_UNSIGNED_LISTS);
    ASSERT_NE(line, nullptr);
    EXPECT_NE(line->style & kItemHidden, 0u);
    // Below every other item: it does not fit the box as it opens, only the grown one.
    for (const DialogItem& item : about->items) {
        if (&item != line) {
            EXPECT_LE(item.rect.y + item.rect.height, line->rect.y) << item.id;
        }
    }
    EXPECT_GT(line->rect.y + line->rect.height, about->height);
    EXPECT_LE(line->rect.y + line->rect.height, about->grownHeight);
    EXPECT_EQ(FindDialogItem(*about, IDC_RATE), nullptr);
}

} // namespace
} // namespace zarn
