// Sub-menus of the main menu.
#include "menus/addition_menu.h"

#include "menus/game_menu.h"

TAdditionMenu::TAdditionMenu(const std::string& name, TGameMenu& parent) : TMenu(name, &parent) {}

void TAdditionMenu::Render() {
    static_cast<TGameMenu*>(Parent)->DrawBackground();
    TMenu::Render();
}

void TAdditionMenu::Update() {
    TMenu::Update();
    static_cast<TGameMenu*>(Parent)->Tick();
}
