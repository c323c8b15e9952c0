// A plain sub-menu of the main menu (the options and the credits): its items
// over the main menu's background, which keeps moving while it is shown.
#pragma once

#include <string>

#include "menus/menu.h"

class TGameMenu;

class TAdditionMenu : public TMenu {
public:
    TAdditionMenu(const std::string& name, TGameMenu& parent);

    void Render() override; // the background, then the items
    void Update() override; // the items, then one background step
};
