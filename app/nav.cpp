// Keys and the first gamepad as navigation commands.
#include "app/nav.h"

#include <algorithm>

#include "engine/engine.h"

bool TRepeat::Step(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0) {
        heldX_ = heldY_ = count_ = 0;
        return false;
    }
    if (dx != heldX_ || dy != heldY_) {
        heldX_ = dx;
        heldY_ = dy;
        count_ = 0;
        return true;
    }
    ++count_;
    if (count_ < kDelay) return false;
    // Kept within one period past the delay, so a direction held for hours never overflows.
    if (count_ >= kDelay + kRate) count_ -= kRate;
    return (count_ - kDelay) % kRate == 0;
}

TPadDirection PadDirection(const qx::TJoyAxes& axes, float pov) {
    TPadDirection direction;
    if (pov >= 0) {
        // Degrees clockwise from up; the diagonals step both ways.
        if (pov > 0 && pov < 180) direction.dx = 1;
        else if (pov > 180 && pov < 360) direction.dx = -1;
        if (pov < 90 || pov > 270) direction.dy = -1;
        else if (pov > 90 && pov < 270) direction.dy = 1;
        return direction;
    }
    const auto axis = [](float value) { return value > TNav::kDeadZone ? 1 : value < -TNav::kDeadZone ? -1 : 0; };
    direction.dx = axis(axes[0]);
    direction.dy = axis(axes[1]);
    return direction;
}

TNavStep TNav::Read() {
    TNavStep step;
    if (!qx::inp) return step;
    const qx::TInp& input = *qx::inp;
    const auto pressed = [&](int32_t a, int32_t b) { return input.Pressed(a) || input.Pressed(b) ? 1 : 0; };
    // With NumLock on the keypad's arrows arrive as its digits.
    step.dx = pressed(qx::key::Right, qx::key::Numpad0 + 6) - pressed(qx::key::Left, qx::key::Numpad0 + 4);
    step.dy = pressed(qx::key::Down, qx::key::Numpad0 + 2) - pressed(qx::key::Up, qx::key::Numpad0 + 8);
    step.Activate = input.Pressed(qx::key::Enter);

    // A bad index reads as a hat pointing up, so the pad is read only when its slot exists.
    TPadDirection pad;
    if (input.JoyCount() > 0) {
        pad = PadDirection(input.JoyAxes(0), input.JoyPOV(0));
        step.Activate = step.Activate || input.Pressed(qx::key::JoyButton(0, 0));
        step.Back = input.Pressed(qx::key::JoyButton(0, 1));
    }
    if (pad_.Step(pad.dx, pad.dy)) {
        step.dx = std::clamp(step.dx + pad.dx, -1, 1);
        step.dy = std::clamp(step.dy + pad.dy, -1, 1);
    }
    return step;
}
