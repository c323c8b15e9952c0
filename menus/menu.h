// The menu screen every menu of the game is built on: a scene showing a column
// of items centred in the window, a translucent highlight bar behind the
// selection and the shared mouse cursor.
//
// Layout: n items in rows 32 pixels high, the column centred vertically, each
// caption centred horizontally. The arrows (or the gamepad's hat or stick)
// move the selection over enabled items (wrapping), Enter, a left click or
// gamepad button 0 activates an item, Esc or gamepad button 1 returns to
// the parent menu or, in the root menu, ends the program. Every update clears
// the key flags, so a press acts once. Width is measured by Render: until a
// menu's first frame it is 0 and the mouse selects nothing. No errors of its
// own: a bad item index gives null and the list's log line.
#pragma once

#include <cstdint>
#include <string>

#include "app/list.h"
#include "app/nav.h"
#include "app/scene.h"
#include "menus/menu_item.h"

class TMenu : public TScene {
public:
    static constexpr double kRowHeight = 32;

    // Joins the scene list as name and centres the cursor. A root menu (no
    // parent) creates the menu font; a sub-menu copies font and textures from its parent.
    TMenu(const std::string& name, TMenu* parent);
    ~TMenu() override; // frees the items; a root menu also frees its font

    // ---- Items ----
    // Appends an item; the first enabled item added becomes the selection.
    TMenuItem* AddItem(const std::string& caption, bool enabled, TMenuItem::THandler onClick = {});
    void Clear();                          // frees every item; Selected is kept for the rebuild
    TMenuItem* Item(int32_t index) const;  // null (and a log line) outside 0..Count-1
    int32_t Count() const;
    void Select(int32_t index);            // ignored when unchanged or out of range; enabled or not
    // Row under a window point inside the mouse band (Width wide, centred), or -1.
    int32_t ItemAt(double x, double y) const;
    double RowTop(int32_t row) const;      // y of a row's top edge in the current window

    // ---- Per step and per frame ----
    void Render() override; // highlight bar, captions, cursor; measures Width
    void Update() override; // mouse, Esc, Down, Up, Enter, then clears the key flags

    int32_t Font = 0;          // font id of every caption
    std::string Title;
    TMenu* Parent = nullptr;   // Esc returns here; null for the root menu
    TList Items;               // TMenuItem*, owned, top to bottom
    int32_t Selected = -1;     // -1 while nothing is selected
    uint32_t SelectColor = 0;  // packed RGBA of the selected caption
    uint32_t DisabledColor = 0; // given to each new item
    uint32_t CursorTex = 0;
    uint32_t BarTex = 0;
    double Width = 0;          // widest caption of the last frame + 50; 0 before the first frame

private:
    void Step(int32_t direction); // the arrow keys: next enabled item, at most one round
    bool OwnsFont = false;
    TNav Nav;
};
