// Play without a mouse: the arrow keys (the keypad's too), Enter and the first
// gamepad (the engine's joystick 0) read as one set of commands per update
// step, which the game and every menu take the same way: a step in a
// direction, activate and back.
//
// A key steps once per press and once per auto-repeat of the keyboard. The
// gamepad's hat, or else its left stick once past the dead zone (a third of
// full scale), holds a direction; a held direction steps at once, again after
// TRepeat::kDelay update steps and then every TRepeat::kRate steps, counted in
// steps so it repeats the same at any frame rate. Button 0 activates, button 1
// goes back. Nothing here fails: without a gamepad only the keys count.
#pragma once

#include <cstdint>

#include "engine/inp.h"

// One step's commands. dx and dy are -1, 0 or 1 in screen directions (dy = 1 is down).
struct TNavStep {
    int32_t dx = 0, dy = 0;
    bool Activate = false; // Enter, the keypad's Enter or gamepad button 0 went down
    bool Back = false;     // gamepad button 1 went down (Esc stays each scene's own)
};

// The repeat of a held direction, driven once per update step.
class TRepeat {
public:
    static constexpr int32_t kDelay = 40; // steps of 10 ms before the first repeat
    static constexpr int32_t kRate = 8;   // steps between repeats after that

    // The direction held this step ((0, 0) when none); true on the steps it acts.
    bool Step(int32_t dx, int32_t dy);

private:
    int32_t heldX_ = 0, heldY_ = 0;
    int32_t count_ = 0; // steps the direction has been held
};

// The gamepad's direction from its axes and hat as the engine reads them:
// the hat when it is off centre, else the left stick past the dead zone.
struct TPadDirection {
    int32_t dx = 0, dy = 0;
};
TPadDirection PadDirection(const qx::TJoyAxes& axes, float pov);

class TNav {
public:
    static constexpr float kDeadZone = 100.0f / 3; // of the engine's -100..100 axis range

    TNavStep Read(); // once per update step, from the engine's input module

private:
    TRepeat pad_;
};
