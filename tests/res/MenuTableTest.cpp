// The menu and accelerator tables that every front end builds its menus from: what a resource compiler would
// refuse or a user would trip over (a missing prompt, a clashing mnemonic or key) must not be in them.
#include "res/MenuTable.h"

#include "res/StringTable.h"

#include <cctype>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

namespace zarn {
namespace {

// The mnemonic letter of a menu text (upper case), or 0 when it has none or more than one; "&&" is a literal '&'.
char Mnemonic(const std::string& text) {
    char found = 0;
    int count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') {
            continue;
        }
        if (text[i + 1] != '&') {
            found = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
            ++count;
        }
        ++i;
    }
    return count == 1 ? found : 0;
}

TEST(MenuTable, CommandsHavePromptsAndMnemonicsAndKeysAreUnique) {
    std::set<unsigned> commands;
    std::set<char> barMnemonics;
    for (const MenuBarItem& item : MainMenu()) {
        const bool onBar = item.popupText == nullptr;
        if (onBar) {
            ASSERT_EQ(item.commands.size(), 1u) << "a command on the bar itself stands alone";
        } else {
            ASSERT_FALSE(item.commands.empty()) << item.popupText;
        }
        const std::string barText = onBar ? item.commands.front().text : item.popupText;
        SCOPED_TRACE(barText);
        const char barKey = Mnemonic(barText);
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(barKey)));
        EXPECT_TRUE(barMnemonics.insert(barKey).second) << "mnemonic used twice on the bar";

        std::set<char> popupMnemonics;
        for (const MenuCommand& command : item.commands) {
            SCOPED_TRACE(command.text);
            EXPECT_TRUE(commands.insert(command.id).second) << "command on the menu twice";
            if (onBar) {
                continue;
            }
            const char key = Mnemonic(command.text);
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(key)));
            EXPECT_TRUE(popupMnemonics.insert(key).second) << "mnemonic used twice in one popup";
            // The prompt's status-bar part, before the tooltip's line break, is what the status bar shows.
            ASSERT_NE(command.prompt, kNoPrompt);
            const std::string& prompt = LoadString(command.prompt);
            EXPECT_FALSE(prompt.substr(0, prompt.find('\n')).empty()) << "prompt " << command.prompt;
        }
    }

    std::set<std::pair<unsigned, char>> keys;
    for (const Accelerator& accelerator : MainAccelerators()) {
        SCOPED_TRACE(accelerator.command);
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(accelerator.key)) ||
                    std::isdigit(static_cast<unsigned char>(accelerator.key)));
        EXPECT_EQ(accelerator.modifiers & ~unsigned{kAccelControl | kAccelShift | kAccelAlt}, 0u);
        EXPECT_TRUE(keys.insert({accelerator.modifiers, accelerator.key}).second) << "key used twice";
    }
    EXPECT_FALSE(keys.empty());
}

} // namespace
} // namespace zarn
