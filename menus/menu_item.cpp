// Menu items.
#include "menus/menu_item.h"

#include "engine/engine.h"
#include "menus/menu.h"

TMenuItem::TMenuItem(TMenu& owner)
    : Color(qx::PackRGBA(255, 255, 0, 255)), Owner(&owner), DisabledColor(owner.DisabledColor) {}

void TMenuItem::Click() {
    if (OnClick && Enabled) OnClick(*this);
}

void TMenuItem::DoSelect() {
    if (OnSelect) OnSelect(*this);
}
