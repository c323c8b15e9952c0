// A plain sub-menu of the main menu (the options and the credits): its items
// over the host's background, which keeps moving while it is shown.
#pragma once

#include <string>

#include "menus/menu.h"

class TGameHost;

class TAdditionMenu : public TMenu {
public:
    // Esc returns to parent; host draws the background and counts its steps (both outlive the menu).
    TAdditionMenu(const std::string& name, TMenu& parent, TGameHost& host);

    void Render() override; // the background, then the items
    void Update() override; // the items, then one background step

private:
    TGameHost& host_;
};
