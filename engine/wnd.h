// The main window: creation, display modes and the window procedure that turns
// platform events into the engine's messages.
#pragma once

#include <cstdint>

namespace qx {

// Message ids handed to the message proc, as the window procedure delivers them.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
constexpr uint32_t WM_XBUTTONUP = 0x020C;

class TWnd {
public:
    TWnd();
    ~TWnd();
    TWnd(const TWnd&) = delete;
    TWnd& operator=(const TWnd&) = delete;

    int32_t Width() const;   // client width in pixels, 0 without a window
    int32_t Height() const;  // client height in pixels, 0 without a window
    bool Active() const;     // the application is the active one
    // The screen's current mode (before the window exists, the primary display's).
    void DesktopMode(int32_t& width, int32_t& height, int32_t& bpp, int32_t& freq) const;

    // ---- Engine side ----
    void ProcessMessages();      // drains the event queue through the window procedure
    void WaitMessage();          // blocks until an event arrives (or a short time passes)
};

} // namespace qx
