// Helpers of the tests that need the real main window: opening it once per
// test process, and feeding it SDL events as the window system would.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "engine/engine.h"

namespace window_test {

inline uint32_t WindowId() { return SDL_GetWindowID(qx::wnd->Handle()); }

// Other programs on the same X server (tests running beside this one) may take
// the focus or send keys at any moment. Only the key, text and focus events a
// test pushes itself count: those carry no window id, which the window
// procedure accepts as its own.
inline void IgnoreOtherInput() {
    SDL_SetEventFilter(
        [](void*, SDL_Event* event) -> int {
            switch (event->type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP: return event->key.windowID == 0;
            case SDL_TEXTINPUT: return event->text.windowID == 0;
            case SDL_TEXTEDITING: return 0;
            case SDL_WINDOWEVENT: {
                const auto kind = event->window.event;
                const bool focus = kind == SDL_WINDOWEVENT_FOCUS_GAINED || kind == SDL_WINDOWEVENT_FOCUS_LOST;
                return !focus || event->window.windowID == 0;
            }
            default: return 1;
            }
        },
        nullptr);
}

// Opens the main window (once per engine) and puts it in windowed mode with a
// client area of width x height.
inline void OpenWindow(int32_t width = 640, int32_t height = 480) {
    IgnoreOtherInput();
    if (!qx::wnd->Created()) qx::wnd->Create("Nivora test", false);
    if (qx::wnd->Width() != width || qx::wnd->Height() != height || !qx::wnd->Windowed())
        qx::wnd->SetMode(false, width, height, 24, 0);
}

// Queues the event and runs the queue through the window procedure.
inline void Deliver(SDL_Event event) {
    SDL_PushEvent(&event);
    qx::wnd->ProcessMessages();
}

inline void Key(SDL_Scancode scancode, bool down, uint16_t mod = KMOD_NONE, bool repeat = false) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = 0;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    event.key.keysym.mod = mod;
    Deliver(event);
}

// A key pressed and released.
inline void Tap(SDL_Scancode scancode, uint16_t mod = KMOD_NONE) {
    Key(scancode, true, mod);
    Key(scancode, false, mod);
}

inline void Focus(bool gained) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = 0;
    event.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    Deliver(event);
}

inline void Text(const std::string& utf8) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = 0;
    utf8.copy(event.text.text, sizeof(event.text.text) - 1);
    Deliver(event);
}

} // namespace window_test
