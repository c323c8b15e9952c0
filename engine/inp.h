// Input devices: one flat table of key flags for keyboard, mouse buttons and
// joystick buttons, plus the per-step mouse motion, wheel notches and last key.
//
// Key codes: 0-255 US-layout virtual-key codes, 257/258/259 left/right/middle
// mouse button, 261/262 the extra buttons, 264 + 32 * j + b joystick j's
// button b. The window procedure sets keyboard and button flags as events
// arrive; Poll reads mouse motion and joysticks once per step; the engine
// clears the step values (LastKey, Wheel, MouseDelta) after each update.
#pragma once

#include <cstdint>
#include <vector>

namespace qx {

struct TPointF {
    float x = 0, y = 0;
};

class TInp {
public:
    TInp();
    ~TInp();
    TInp(const TInp&) = delete;
    TInp& operator=(const TInp&) = delete;

    void Reset();                    // every key flag up
    bool Down(int32_t code) const;   // false for a code outside the table
    int32_t LastKey() const;         // last code pressed this step, -1 when none
    TPointF MouseDelta() const;      // pixels moved this step, y down
    int32_t Wheel() const;           // wheel notches this step, forward positive

    // ---- Engine side ----
    void SetKey(int32_t code, bool down); // ignored outside the table
    void SetWheel(int32_t notches);       // replaces this step's value
    void Poll();                          // once per step, before the update proc
    void ClearStep();                     // after the update proc

private:
    std::vector<uint8_t> keys_;
    float mouseDX_ = 0;
    float mouseDY_ = 0;
    int32_t wheelDelta_ = 0;
    int32_t lastKeyCode_ = 0;
};

} // namespace qx
