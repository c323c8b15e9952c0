// Input devices: the key table, the per-step values, mouse capture through
// SDL's relative mouse mode and joysticks through SDL's joystick API.
#include "engine/inp.h"

#include <algorithm>

#include "engine/engine.h"
#include "engine/sdl_internal.h"

namespace qx {

namespace {

constexpr int32_t kMaxJoysticks = 16;
constexpr int kAxesPerJoystick = 6;

void InputLog(const std::string& message) {
    if (log) log->Print("Input   : " + message);
}

// SDL axis range -32768..32767 to -100..100.
float ScaleAxis(int16_t position) {
    constexpr float kMin = -32768.0f;
    constexpr float kMax = 32767.0f;
    return (static_cast<float>(position) - kMin) / (kMax - kMin) * 200.0f - 100.0f;
}

// SDL hat bits to the direction in hundredths of a degree, clockwise from up;
// -1 when centred.
int32_t HatHundredths(uint8_t hat) {
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return -1;
    }
}

bool VideoReady() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

} // namespace

TInp::TInp() {
    InputLog("Keyboard ready");
    InputLog("Mouse    ready");

    // Room for every slot up front: a joystick plugged in mid-game grows the
    // tables within what is already allocated.
    joysticks_.reserve(kMaxJoysticks);
    keys_.reserve(static_cast<size_t>(key::JoyButton(kMaxJoysticks, 0)));
    pressed_.reserve(keys_.capacity());
    keys_.assign(static_cast<size_t>(key::JoyFirst), 0);
    pressed_.assign(keys_.size(), 0);

    joystickStarted_ = SdlStart(SDL_INIT_JOYSTICK);
    if (joystickStarted_) {
        // Joysticks are read by polling each step, not through queued events;
        // only their comings and goings are queued, for the window to pass on.
        SDL_JoystickEventState(SDL_IGNORE);
        SDL_EventState(SDL_JOYDEVICEADDED, SDL_ENABLE);
        SDL_EventState(SDL_JOYDEVICEREMOVED, SDL_ENABLE);
        const int32_t ids = std::min(SDL_NumJoysticks(), kMaxJoysticks);
        for (int32_t id = 0; id < ids; ++id) Open(id);
    }
    InputLog(joyPresent_ ? "Joystick ready" : "Joystick not ready");
    Reset();
}

TInp::~TInp() {
    if (cursorHidden_ && VideoReady()) {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        SDL_ShowCursor(SDL_ENABLE);
    }
    for (auto& joystick : joysticks_)
        if (joystick.Device) SDL_JoystickClose(joystick.Device);
    if (joystickStarted_) SdlStop(SDL_INIT_JOYSTICK);
}

bool TInp::Open(int32_t deviceIndex) {
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    for (const auto& joystick : joysticks_)
        if (joystick.Device && instance >= 0 && joystick.Id == static_cast<uint32_t>(instance)) return true;
    size_t slot = 0;
    while (slot < joysticks_.size() && joysticks_[slot].Device) ++slot;
    if (slot == static_cast<size_t>(kMaxJoysticks)) {
        InputLog("- Joystick (" + IntToStr(deviceIndex) + ") ignored: no free slot");
        return false;
    }
    SDL_Joystick* device = SDL_JoystickOpen(deviceIndex);
    if (!device) {
        InputLog("- Joystick (" + IntToStr(deviceIndex) + ") init error");
        return false;
    }
    TJoystick joystick;
    joystick.Id = static_cast<uint32_t>(SDL_JoystickInstanceID(device));
    joystick.Device = device;
    joystick.Buttons = std::clamp(SDL_JoystickNumButtons(device), 0, key::JoyButtons);
    joystick.AxisCount = std::max(SDL_JoystickNumAxes(device), 0);
    joystick.HasHat = SDL_JoystickNumHats(device) > 0;
    if (slot == joysticks_.size()) {
        joysticks_.push_back(joystick);
        keys_.resize(static_cast<size_t>(key::JoyButton(JoyCount(), 0)), 0);
        pressed_.resize(keys_.size(), 0);
    } else {
        joysticks_[slot] = joystick;
    }
    const char* name = SDL_JoystickName(device);
    InputLog("- Joystick (" + IntToStr(static_cast<int32_t>(slot)) + ") found");
    InputLog(std::string("-- Driver  : ") + (name ? name : ""));
    InputLog("-- Buttons : " + IntToStr(SDL_JoystickNumButtons(device)));
    InputLog("-- Axis    : " + IntToStr(joystick.AxisCount));
    joyPresent_ = true;
    return true;
}

void TInp::JoyAdded(int32_t deviceIndex) {
    if (joystickStarted_) Open(deviceIndex);
}

void TInp::JoyRemoved(int32_t instanceId) {
    for (size_t slot = 0; slot < joysticks_.size(); ++slot) {
        TJoystick& joystick = joysticks_[slot];
        if (!joystick.Device || instanceId < 0 || joystick.Id != static_cast<uint32_t>(instanceId)) continue;
        SDL_JoystickClose(joystick.Device);
        joystick.Device = nullptr;
        AtRest(slot);
        InputLog("- Joystick (" + IntToStr(static_cast<int32_t>(slot)) + ") removed");
    }
    joyPresent_ = std::any_of(joysticks_.begin(), joysticks_.end(), [](const TJoystick& j) { return j.Device; });
}

void TInp::Reset() {
    std::fill(keys_.begin(), keys_.end(), 0);
    std::fill(pressed_.begin(), pressed_.end(), 0);
}

bool TInp::Down(int32_t code) const {
    return code >= 0 && code < static_cast<int32_t>(keys_.size()) && keys_[code] != 0;
}

bool TInp::Pressed(int32_t code) const {
    return code >= 0 && code < static_cast<int32_t>(pressed_.size()) && pressed_[code] != 0;
}

int32_t TInp::LastKey() const { return lastKeyCode_; }
TPointF TInp::MouseDelta() const { return {mouseDX_, mouseDY_}; }
int32_t TInp::Wheel() const { return wheelDelta_; }
int32_t TInp::JoyCount() const { return static_cast<int32_t>(joysticks_.size()); }

TJoyAxes TInp::JoyAxes(int32_t joystick) const {
    if (joystick < 0 || joystick >= JoyCount()) return {};
    return joysticks_[joystick].Axes;
}

float TInp::JoyPOV(int32_t joystick) const {
    if (joystick < 0 || joystick >= JoyCount()) return 0;
    return joysticks_[joystick].POV;
}

void TInp::MCapture(bool captured) {
    captured_ = captured;
    // The cursor is hidden once per capture and shown once per release, also
    // when the capture was switched before the window existed.
    if (VideoReady()) {
        SDL_SetRelativeMouseMode(captured_ ? SDL_TRUE : SDL_FALSE);
        if (captured_ != cursorHidden_) {
            SDL_ShowCursor(captured_ ? SDL_DISABLE : SDL_ENABLE);
            cursorHidden_ = captured_;
        }
    }
    Poll();
    mouseDX_ = mouseDY_ = 0;
}

bool TInp::Captured() const { return captured_; }

void TInp::SetKey(int32_t code, bool down) {
    if (code < 0 || code >= static_cast<int32_t>(keys_.size())) return;
    keys_[code] = down ? 1 : 0;
    if (!down) return;
    lastKeyCode_ = code;
    pressed_[code] = 1;
}

void TInp::SetWheel(int32_t notches) { wheelDelta_ = notches; }

void TInp::AddMouseMotion(float dx, float dy) {
    pendingDX_ += dx;
    pendingDY_ += dy;
}

void TInp::Poll() {
    // Motion counts only while the game owns the mouse; what arrived before
    // (or while inactive) is dropped so a fresh capture starts from rest.
    if (captured_ && wnd && wnd->Active()) {
        mouseDX_ = pendingDX_;
        mouseDY_ = pendingDY_;
    }
    pendingDX_ = pendingDY_ = 0;

    if (!joyPresent_) return;
    SDL_JoystickUpdate();
    for (size_t j = 0; j < joysticks_.size(); ++j) PollJoystick(j);
}

void TInp::AtRest(size_t index) {
    TJoystick& joystick = joysticks_[index];
    joystick.POV = -1;
    joystick.Axes = {};
    joystick.Held = 0;
    const auto firstCode = static_cast<std::ptrdiff_t>(key::JoyButton(static_cast<int32_t>(index), 0));
    std::fill_n(keys_.begin() + firstCode, key::JoyButtons, 0);
    std::fill_n(pressed_.begin() + firstCode, key::JoyButtons, 0);
}

void TInp::PollJoystick(size_t index) {
    TJoystick& joystick = joysticks_[index];
    if (!joystick.Device) return;
    if (!SDL_JoystickGetAttached(joystick.Device)) {
        // A joystick that stopped answering reads as centred with its buttons
        // up. Centred is a hat of -1: 0 would be a hat held up, and a caller
        // steering by the hat would move up until the joystick came back.
        AtRest(index);
        return;
    }
    for (int axis = 0; axis < kAxesPerJoystick; ++axis)
        joystick.Axes[axis] = axis < joystick.AxisCount ? ScaleAxis(SDL_JoystickGetAxis(joystick.Device, axis)) : 0;
    const int32_t hundredths = joystick.HasHat ? HatHundredths(SDL_JoystickGetHat(joystick.Device, 0)) : -1;
    joystick.POV = hundredths < 0 ? -1 : static_cast<float>(hundredths) / 100;
    // Only flags that differ from the button are written, so a held button
    // sets LastKey once; a button Reset put up while it was held is set down
    // again here. Pressed follows the button itself, not its flag: it counts
    // only the poll at which the button went down, so a held button acts once.
    const int32_t firstCode = key::JoyButton(static_cast<int32_t>(index), 0);
    for (int32_t b = 0; b < joystick.Buttons; ++b) {
        const bool pressed = SDL_JoystickGetButton(joystick.Device, b) != 0;
        const uint32_t bit = 1u << b;
        const bool wasHeld = (joystick.Held & bit) != 0;
        joystick.Held = pressed ? joystick.Held | bit : joystick.Held & ~bit;
        const auto code = static_cast<size_t>(firstCode + b);
        if (pressed && !keys_[code]) {
            keys_[code] = 1;
            lastKeyCode_ = static_cast<int32_t>(code);
            if (!wasHeld) pressed_[code] = 1;
        } else if (!pressed && keys_[code]) {
            keys_[code] = 0;
        }
    }
}

void TInp::ClearStep() {
    lastKeyCode_ = -1;
    std::fill(pressed_.begin(), pressed_.end(), 0);
    wheelDelta_ = 0;
    mouseDX_ = mouseDY_ = 0;
}

} // namespace qx
