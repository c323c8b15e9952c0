// The tests' one window fixture: the engine's own main window and GL context,
// opened through TWnd::Create as the game opens them; input built as SDL
// events and run through the window procedure; and the frame read back.
//
// A test program that includes this header runs whole on an X server of its own
// (CTest starts it through tests/with_display.sh), so no other program can take
// the focus or type into the window. A test that needs the window fails when
// no display can be had: opening it is an assertion, never a skip.
#pragma once

#include "tests/support/display.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace test_window {

// ---- The window ---------------------------------------------------------------

// Opens the main window through the engine (once per engine) as a window of
// width x height and waits for the X server to make it the active one. False,
// with the reason in the test's output, when there is no display.
[[nodiscard]] bool Open(int32_t width = 640, int32_t height = 480);

// Runs the window's messages until the X server has made it the active
// window (showing it asks for the focus, which arrives some time later); false
// when it never does.
bool WaitUntilActive();

// Base of the tests on the main window: opens it at width_ x height_ before each test.
class WindowTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Open(width_, height_)) << "the test needs a display"; }
    int32_t width_ = 640;
    int32_t height_ = 480;
};

// The main window at 1024 x 768 with the game's images loaded from the game
// folder and the application's procs registered, made once per test program
// before its first test (Install it from a static initialiser).
class GameWindow : public testing::Environment {
public:
    void SetUp() override;
    static void Install();
    // Whether the window was made; a test asserts it in its SetUp.
    static bool Ready();
};

// ---- Input, as the window system delivers it -----------------------------------

// Queues the event (addressed to the main window) without handling it.
void Push(SDL_Event event);
// Queues the event and runs the queue through the window procedure.
void Deliver(const SDL_Event& event);

// Key events: scancode pressed (down) or released, with modifiers and auto-repeat.
SDL_Event KeyEvent(SDL_Scancode scancode, bool down, uint16_t mod = KMOD_NONE, bool repeat = false);
void Key(SDL_Scancode scancode, bool down, uint16_t mod = KMOD_NONE, bool repeat = false);
// A key pressed and released.
void Tap(SDL_Scancode scancode, uint16_t mod = KMOD_NONE);
// Typed text, UTF-8, as one text-input event.
void Text(const std::string& utf8);
// The window gaining or losing the focus.
void Focus(bool gained);
// Relative mouse motion in pixels.
SDL_Event MotionEvent(int dx, int dy);
// A mouse button (SDL_BUTTON_LEFT...) pressed or released.
SDL_Event ButtonEvent(uint8_t button, bool down);
// The wheel turned by notches (fractions for a high-resolution wheel).
SDL_Event WheelEvent(float notches);

// One pass of the main loop without its clock: the queued events, then one update step.
void Step();

// A gamepad as SDL's virtual joystick (6 axes, 16 buttons, a hat), plugged in
// while the window runs: the next Step passes its device-added event on.
// Pulled out (the device-removed event queued) by PullOut or at the end.
class VirtualPad {
public:
    VirtualPad();
    ~VirtualPad();
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    bool Attached() const { return device_ != nullptr; }
    void PullOut();
    void SetButton(int button, bool down);
    void SetHat(uint8_t direction);   // SDL_HAT_*
    void SetAxis(int axis, int16_t value);
    void Button(int button);          // pressed for one Step, released for the next
    void Hat(uint8_t direction);      // pushed for one Step, centred for the next

private:
    int index_ = -1;
    SDL_Joystick* device_ = nullptr;
};

// ---- The frame -------------------------------------------------------------------

using TRgb = std::array<uint8_t, 3>;

// An RGBA picture read back from GL, top row first.
struct TPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* At(int32_t x, int32_t y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    TRgb Rgb(int32_t x, int32_t y) const {
        const uint8_t* p = At(x, y);
        return {p[0], p[1], p[2]};
    }
    // Pixels in [x0, x1) x [y0, y1) for which match(rgba) holds.
    template <typename Match>
    int Count(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Match match) const {
        int n = 0;
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x) n += match(At(x, y)) ? 1 : 0;
        return n;
    }
};

// The w x h block whose top-left corner is (x, y), y down, of whatever is
// drawn to: the window's back buffer, or a Target while one is bound.
TPicture ReadPixels(int32_t x, int32_t y, int32_t w, int32_t h);
// The whole back buffer of the main window.
TPicture ReadFrame();
// One pixel of the window's back buffer, y down.
TRgb Pixel(int32_t x, int32_t y);
// The mean colour of the w x h block at (x, y), y down.
std::array<double, 3> Mean(int32_t x, int32_t y, int32_t w, int32_t h);

// An off-screen colour target of its own size, bound while it exists, with a
// 2-D projection in pixels, y down, cleared to black; drawing to it leaves the
// window's frame alone.
class Target {
public:
    Target(int32_t width, int32_t height);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool Complete() const;
    void Clear() const;
    TPicture Pixels() const;

private:
    int32_t width_;
    int32_t height_;
    uint32_t frameBuffer_ = 0;
    uint32_t colour_ = 0;
};

} // namespace test_window
