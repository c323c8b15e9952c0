// Input devices: the key table and the per-step values.
#include "engine/inp.h"

#include "engine/engine.h"

namespace qx {

namespace {
constexpr int32_t kFirstJoystickCode = 264;
} // namespace

TInp::TInp() : keys_(kFirstJoystickCode, 0) {
    if (log) {
        log->Print("Input   : Keyboard ready");
        log->Print("Input   : Mouse    ready");
    }
}

TInp::~TInp() = default;

void TInp::Reset() { std::fill(keys_.begin(), keys_.end(), 0); }

bool TInp::Down(int32_t code) const {
    return code >= 0 && code < static_cast<int32_t>(keys_.size()) && keys_[code] != 0;
}

int32_t TInp::LastKey() const { return lastKeyCode_; }
TPointF TInp::MouseDelta() const { return {mouseDX_, mouseDY_}; }
int32_t TInp::Wheel() const { return wheelDelta_; }

void TInp::SetKey(int32_t code, bool down) {
    if (code < 0 || code >= static_cast<int32_t>(keys_.size())) return;
    keys_[code] = down ? 1 : 0;
    if (down) lastKeyCode_ = code;
}

void TInp::SetWheel(int32_t notches) { wheelDelta_ = notches; }

void TInp::Poll() {}

void TInp::ClearStep() {
    lastKeyCode_ = -1;
    wheelDelta_ = 0;
    mouseDX_ = mouseDY_ = 0;
}

} // namespace qx
