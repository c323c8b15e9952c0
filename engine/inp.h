// Input devices: one flat table of key flags for keyboard, mouse buttons and
// joystick buttons, plus the per-step mouse motion, wheel notches and last key,
// and each joystick's six axes and hat.
//
// Key codes: 0-255 US-layout virtual-key codes, 257/258/259 left/right/middle
// mouse button, 261/262 the extra buttons, 264 + 32 * j + b joystick j's
// button b. The window procedure sets keyboard and button flags as events
// arrive; Poll reads mouse motion and joysticks once per step; the engine
// clears the step values (LastKey, Pressed, Wheel, MouseDelta) after each
// update. Joysticks are found at creation and as they are plugged in (the
// window passes SDL's device events on); each keeps its slot, and so its key
// codes, until it is pulled out, and a pulled-out one's slot reads at rest
// until another joystick takes it. Log lines carry "Input   : ".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct _SDL_Joystick;

namespace qx {

// Named engine key codes: the keyboard's US-layout virtual-key codes, then the
// mouse buttons above the keyboard's range.
namespace key {
constexpr int32_t Backspace = 8;
constexpr int32_t Tab = 9;
constexpr int32_t Clear = 12;      // the keypad's 5 while NumLock is off
constexpr int32_t Enter = 13;
constexpr int32_t Shift = 16;
constexpr int32_t Control = 17;
constexpr int32_t Alt = 18;
constexpr int32_t Pause = 19;
constexpr int32_t CapsLock = 20;
constexpr int32_t Esc = 27;
constexpr int32_t Space = 32;
constexpr int32_t PageUp = 33;
constexpr int32_t PageDown = 34;
constexpr int32_t End = 35;
constexpr int32_t Home = 36;
constexpr int32_t Left = 37;
constexpr int32_t Up = 38;
constexpr int32_t Right = 39;
constexpr int32_t Down = 40;
constexpr int32_t PrintScreen = 44;
constexpr int32_t Insert = 45;
constexpr int32_t Delete = 46;
constexpr int32_t Digit0 = 48;     // + digit, up to 57 for 9
constexpr int32_t A = 65;          // + letter, up to 90 for Z
constexpr int32_t LeftWin = 91;
constexpr int32_t RightWin = 92;
constexpr int32_t Apps = 93;
constexpr int32_t Numpad0 = 96;    // + digit, up to 105 for the keypad's 9
constexpr int32_t Multiply = 106;  // the keypad's operator keys
constexpr int32_t Add = 107;
constexpr int32_t Subtract = 109;
constexpr int32_t Decimal = 110;
constexpr int32_t Divide = 111;
constexpr int32_t F1 = 112;        // + n - 1 for Fn, up to 135 for F24
constexpr int32_t F10 = 121;
constexpr int32_t F13 = 124;
constexpr int32_t NumLock = 144;
constexpr int32_t ScrollLock = 145;
// The punctuation keys, named after their US-layout characters.
constexpr int32_t Semicolon = 186;
constexpr int32_t Equals = 187;
constexpr int32_t Comma = 188;
constexpr int32_t Minus = 189;
constexpr int32_t Period = 190;
constexpr int32_t Slash = 191;
constexpr int32_t Grave = 192;
constexpr int32_t LeftBracket = 219;
constexpr int32_t Backslash = 220;
constexpr int32_t RightBracket = 221;
constexpr int32_t Apostrophe = 222;
constexpr int32_t IntlBackslash = 226; // the extra key beside the left Shift
constexpr int32_t MouseLeft = 257;
constexpr int32_t MouseRight = 258;
constexpr int32_t MouseMiddle = 259;
constexpr int32_t MouseX1 = 261;
constexpr int32_t MouseX2 = 262;
constexpr int32_t JoyFirst = 264;           // + JoyButtons * joystick + button
constexpr int32_t JoyButtons = 32;          // key codes per joystick
constexpr int32_t JoyButton(int32_t joystick, int32_t button) { return JoyFirst + JoyButtons * joystick + button; }
} // namespace key

struct TPointF {
    float x = 0, y = 0;
};

// Six joystick axes X, Y, Z, R, U, V, each in -100..100.
using TJoyAxes = std::array<float, 6>;

class TInp {
public:
    TInp();  // logs the devices found; opens the joysticks
    ~TInp();
    TInp(const TInp&) = delete;
    TInp& operator=(const TInp&) = delete;

    void Reset();                    // every key flag up
    bool Down(int32_t code) const;   // false for a code outside the table
    // Went down this step, a keyboard auto-repeat included; Reset clears it too.
    // A joystick button that Reset put up while held is Down again at the next
    // poll, but not Pressed: only the button going down is.
    bool Pressed(int32_t code) const;
    int32_t LastKey() const;         // last code pressed this step, -1 when none
    TPointF MouseDelta() const;      // pixels moved this step, y down
    int32_t Wheel() const;           // wheel notches this step, forward positive
    int32_t JoyCount() const;        // joystick slots: found at creation or plugged in since
    TJoyAxes JoyAxes(int32_t joystick) const; // all zero for a bad index
    float JoyPOV(int32_t joystick) const;     // hat in degrees, -1 centred or none, 0 for a bad index
    // Captured: the system cursor is hidden and the mouse reads as relative motion.
    void MCapture(bool captured);
    bool Captured() const;

    // ---- Engine side ----
    void SetKey(int32_t code, bool down); // ignored outside the table
    void SetWheel(int32_t notches);       // replaces this step's value
    void AddMouseMotion(float dx, float dy); // relative motion reported by the window
    void JoyAdded(int32_t deviceIndex);   // SDL's device-added event: opens it unless it is open already
    void JoyRemoved(int32_t instanceId);  // SDL's device-removed event: closes it, its slot at rest
    void Poll();                          // once per step, before the update proc
    void ClearStep();                     // after the update proc

private:
    struct TJoystick {
        uint32_t Id = 0;
        _SDL_Joystick* Device = nullptr;
        int32_t Buttons = 0;
        int32_t AxisCount = 0;
        bool HasHat = false;
        uint32_t Held = 0; // buttons down at the last poll, one bit each
        TJoyAxes Axes{};
        float POV = -1;
    };

    bool Open(int32_t deviceIndex); // into the first free slot; false (and a log line) when it fails
    void AtRest(size_t index);      // centred, its buttons up
    void PollJoystick(size_t index);

    bool joyPresent_ = false;
    bool joystickStarted_ = false;
    std::vector<TJoystick> joysticks_;
    std::vector<uint8_t> keys_;
    std::vector<uint8_t> pressed_; // went down this step
    float mouseDX_ = 0;
    float mouseDY_ = 0;
    float pendingDX_ = 0; // motion since the previous poll
    float pendingDY_ = 0;
    int32_t wheelDelta_ = 0;
    bool captured_ = false;
    bool cursorHidden_ = false;
    int32_t lastKeyCode_ = 0;
};

} // namespace qx
