// The main window.
#include "engine/wnd.h"

namespace qx {

TWnd::TWnd() = default;
TWnd::~TWnd() = default;
int32_t TWnd::Width() const { return 0; }
int32_t TWnd::Height() const { return 0; }
bool TWnd::Active() const { return true; }
void TWnd::DesktopMode(int32_t& width, int32_t& height, int32_t& bpp, int32_t& freq) const {
    width = height = bpp = freq = 0;
}
void TWnd::ProcessMessages() {}
void TWnd::WaitMessage() {}

} // namespace qx
