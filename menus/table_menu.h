// The common part of the two records screens ("Record" and "OnLine"): a menu
// under the main menu whose item column starts with invisible spacer rows, so
// its real items sit below a table, and that shows short messages in a box for
// a number of update steps while the background keeps moving.
#pragma once

#include <cstdint>
#include <string>

#include "menus/menu.h"

class TGameHost;

class TTableMenu : public TMenu {
public:
    static constexpr int32_t kSpacers = 15; // invisible rows that push the items below the table

    // Adds the spacers. Esc returns to parent; host draws the background and
    // counts its steps (both outlive the screen).
    TTableMenu(const std::string& name, TMenu& parent, TGameHost& host);

    void ShowMessage(const std::string& text, double seconds); // shown for seconds x 100 steps
    // The framework's step, the host's Tick, then one step off the message.
    void Update() override;

    // The message box: Msg.bmp 256 x 64 centred, the text in font.
    static void DrawMessage(int32_t font, const std::string& text);

    int32_t MsgTimer = 0; // update steps left; 0: hidden
    std::string MsgText;

protected:
    TGameHost& Host() const { return host_; }

private:
    TGameHost& host_;
};
