// The modal message box, shown by the window module for the log's MsgBox
// (internal to the engine; the log is the public way in), so that SDL stays
// inside the modules that own the display.
//
// The type takes the log's MB_* flags: the low four bits pick the button set,
// the next four the icon, bits 8-11 the default button. The result is the ID*
// of the button chosen; 0 when the box could not be shown (no display, an
// unknown button set), with one "Window  : " line saying why.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qx {

struct TMsgBoxButton {
    int32_t id = 0;         // the IDxxx value returned when it is chosen
    const char* label = ""; // its caption
};

// The buttons a type asks for, left to right, and the keyboard answers.
struct TMsgBoxLayout {
    std::array<TMsgBoxButton, 3> buttons{};
    int32_t count = 0;        // 0: not a known button set
    int32_t defaultIndex = 0; // the button Enter chooses
    int32_t escapeId = 0;     // what Esc or closing the box gives; 0 when the set has no way out
};

// Reads the button set and default button of a type.
TMsgBoxLayout MsgBoxLayout(int32_t type);

// Shows the box without an owner window and waits for the choice.
int32_t ShowMsgBox(const std::string& caption, const std::string& text, int32_t type);

} // namespace qx
