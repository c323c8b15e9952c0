// One entry of a menu column: a caption with optional colour markup, its
// colours, an enabled flag and the handlers bound to it.
//
// A disabled item is drawn in DisabledColor, is never clicked and is skipped
// by the arrow keys; screens also use disabled items as coloured text lines or
// invisible spacers. The menu that holds an item owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TMenu;

class TMenuItem {
public:
    // A handler receives the item it is bound to; an empty one does nothing.
    using THandler = std::function<void(TMenuItem&)>;

    explicit TMenuItem(TMenu& owner); // yellow caption, the owner's disabled colour, no handlers
    virtual ~TMenuItem() = default;
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;

    virtual void Click();    // runs OnClick when the item is enabled
    virtual void DoSelect(); // runs OnSelect; the menu calls it when the item becomes the selection

    bool Enabled = false;
    std::string Caption;
    uint32_t Color = 0;         // packed RGBA while enabled and not selected
    THandler OnClick;
    THandler OnSelect;
    TMenu* Owner = nullptr;
    uint32_t DisabledColor = 0; // packed RGBA while disabled
};
