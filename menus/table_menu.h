// The common part of the two records screens ("Record" and "OnLine"): a menu
// under the main menu whose item column starts with invisible spacer rows, so
// its real items sit below a table, and that shows short messages in a box for
// a number of update steps while the background keeps moving.
#pragma once

#include <cstdint>
#include <string>

#include "menus/menu.h"

class TGameMenu;

class TTableMenu : public TMenu {
public:
    static constexpr int32_t kSpacers = 15; // invisible rows that push the items below the table

    TTableMenu(const std::string& name, TGameMenu& parent); // adds the spacers

    void ShowMessage(const std::string& text, double seconds); // shown for seconds x 100 steps
    // The framework's step, the main menu's Tick, then one step off the message.
    void Update() override;

    // The message box: Msg.bmp 256 x 64 centred, the text in font.
    static void DrawMessage(int32_t font, const std::string& text);

    int32_t MsgTimer = 0; // update steps left; 0: hidden
    std::string MsgText;

protected:
    TGameMenu& Main() const;
};
