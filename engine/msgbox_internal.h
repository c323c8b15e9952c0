// The modal message box, shown by the window module for the log's MsgBox
// (internal to the engine; the log is the public way in), so that SDL stays
// inside the modules that own the display.
#pragma once

#include <cstdint>
#include <string>

namespace qx {

// Shows the box without an owner window and waits for it to close; type takes
// the log's MB_* flags. Returns the log's ID* of the button chosen.
int32_t ShowMsgBox(const std::string& caption, const std::string& text, int32_t type);

} // namespace qx
