// Sub-menus of the main menu.
#include "menus/addition_menu.h"

#include "game/game_host.h"

TAdditionMenu::TAdditionMenu(const std::string& name, TMenu& parent, TGameHost& host)
    : TMenu(name, &parent), host_(host) {}

void TAdditionMenu::Render() {
    host_.DrawBackground();
    TMenu::Render();
}

void TAdditionMenu::Update() {
    TMenu::Update();
    host_.Tick();
}
