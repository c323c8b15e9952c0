// The main window: creation (or adoption of a host's window), display modes
// and the window procedure that turns platform events into the engine's
// messages.
//
// Words: a "mode" is width x height x bits per pixel x refresh rate (ModeText
// "640x480x16x60"; rate 0 = any). "Windowed" is a captioned window with the
// requested client size at the screen's top-left corner; full screen is an
// exclusive display mode. The window procedure (WndProc) sees every message:
// keys and buttons become input flags, joysticks plugged in or pulled out go
// to the input module, activation pauses and resumes, and each
// message except WM_DESTROY then goes to the engine's message proc. Failures
// are reported by result and one "Window  : " log line.
#pragma once

#include <cstdint>
#include <string>

struct SDL_Window;

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
constexpr uint32_t WM_SYSCHAR = 0x0106; // a character typed with Alt held

constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
constexpr uint32_t WM_XBUTTONUP = 0x020C;
// The music player finished a file (wParam MCI_NOTIFY_SUCCESSFUL).
constexpr uint32_t MM_MCINOTIFY = 0x03B9;
constexpr uint32_t MCI_NOTIFY_SUCCESSFUL = 1;

// One wheel notch in the high word of WM_MOUSEWHEEL's wParam.
constexpr int32_t WHEEL_DELTA = 120;

class TWnd {
public:
    TWnd();  // opens nothing
    ~TWnd(); // destroys an own window ("Destroy main window"); an adopted one is left alone
    TWnd(const TWnd&) = delete;
    TWnd& operator=(const TWnd&) = delete;

    // ---- Window ----
    // Creates the main window (hidden until the GL context, sound and mouse
    // capture are set up, then shown windowed at ModeWidth x ModeHeight).
    // True when it already exists. False with a "Fatal Error" line otherwise.
    bool Create(const std::string& caption, bool onTop);
    // Adopts a host's native window (an X11 window id) instead of creating one;
    // the engine then never restyles, resizes or re-modes it. False when a
    // window exists already or SDL cannot adopt the handle.
    [[nodiscard]] bool Attach(void* nativeHandle);
    SDL_Window* Handle() const;              // null before Create
    void SetCaption(const std::string& text);
    int32_t Width() const;                   // client width in pixels, 0 without a window
    int32_t Height() const;                  // client height in pixels, 0 without a window
    // Full screen at a listed display mode (freq 0 = any rate, a failed rate is
    // retried at 0), or windowed with that client size. A mode the screen cannot
    // show logs "Can't set video mode: " + ModeText, leaves a window of the
    // requested size and returns false. Always false for an adopted window.
    bool SetMode(bool fullScreen, int32_t width, int32_t height, int32_t bpp, int32_t freq);
    void Minimize(bool minimized);           // own window only
    bool Active() const;                     // the application is the active one
    // The screen's current mode (before the window exists, the primary display's).
    void DesktopMode(int32_t& width, int32_t& height, int32_t& bpp, int32_t& freq) const;

    // ---- State ----
    bool Created() const;                    // the window exists (created or adopted)
    bool External() const;                   // adopted through Attach
    bool Windowed() const;                   // false while in (or returning to) full screen
    int32_t ModeWidth() const;               // requested client size
    int32_t ModeHeight() const;
    int32_t BPP() const;                     // requested full-screen colour depth
    int32_t Freq() const;                    // requested refresh rate, 0 = any
    static std::string ModeText(int32_t width, int32_t height, int32_t bpp, int32_t freq);

    // ---- Engine side ----
    // Resizes and restyles the window for the current mode and sets the viewport.
    void ApplyMode();
    // The window procedure: the engine's handling of one message, then the
    // message proc (every message but WM_DESTROY). Returns the message result.
    uint32_t WndProc(uint32_t msg, uint32_t wParam, uint32_t lParam);
    void ProcessMessages();      // drains the event queue through the window procedure
    void WaitMessage();          // blocks until an event arrives or 100 ms pass

private:
    class TEventTranslator;

    bool StartVideo() const;
    void ActivateApp(bool active);
    void StepAside();
    void ReturnToFullScreen();
    // Focus moves and the window manager's answers to the game's own calls.
    void FocusChanged(bool gained);
    void OwnWindowCall();
    void DecideFocusAfter(uint32_t ms);
    bool Deciding() const;
    void SettleFocus();
    void LogDisplayChange(uint32_t wParam, uint32_t lParam);
    void NoteDisplayChange(int32_t oldWidth, int32_t oldHeight, int32_t oldBpp, int32_t oldFreq);

    bool created_ = false;
    bool external_ = false;
    SDL_Window* handle_ = nullptr;
    int32_t modeWidth_ = 640;
    int32_t modeHeight_ = 480;
    bool active_ = false;
    bool windowed_ = true;
    bool covering_ = false; // full screen as a borderless window over the screen (no window manager)
    int32_t bpp_ = 16;
    int32_t freq_ = 60;
    mutable bool videoStarted_ = false;
    bool onTop_ = false;         // created always on top (dropped while inactive)
    bool focusHeld_ = false;     // what the last focus event said
    bool steppedAside_ = false;  // minimised by the game itself while inactive
    bool managed_ = false;       // a window manager looks after the window
    bool keepsMinimised_ = false; // ... and can give a minimised window back
    bool deciding_ = false;      // a focus change waits until decideAt_
    uint32_t decideAt_ = 0;      // SDL ticks
    bool typingWithAlt_ = false; // the text that follows came from a key pressed with Alt
};

} // namespace qx
