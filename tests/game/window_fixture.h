// A real 1024 x 768 window with its OpenGL context, made once per test program
// through the engine (as the application does), with the game's images loaded
// from the game folder. Tests skip when no display is available.
#pragma once

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "app/scene.h"
#include "engine/engine.h"
#include "game/resources.h"

namespace test_window {

class Environment : public testing::Environment {
public:
    void SetUp() override {
        if (::chdir(NIVORA_GAME_DIR) != 0) return;
        // The size is chosen first so the window is made at it (a later resize
        // reaches the X server only some time after the call).
        qx::wnd->SetMode(false, 1024, 768, 32, 0);
        ready_ = qx::wnd->Create("Nivora", false) && qx::wnd->Width() > 0;
        if (!ready_) return;
        qx::wnd->ProcessMessages();
        LoadResources();
        qx::eng->SetProc(qx::PROC_UPDATE, AppUpdate);
        qx::eng->SetProc(qx::PROC_RENDER, AppRender);
        qx::eng->SetProc(qx::PROC_MESSAGE, AppMessage);
    }
    static bool Ready() { return instance_ && instance_->ready_; }
    static void Install() {
        instance_ = new Environment;
        testing::AddGlobalTestEnvironment(instance_); // gtest owns it
    }

private:
    bool ready_ = false;
    static inline Environment* instance_ = nullptr;
};

// Pushes an event into the real queue; the window procedure handles it at the next step.
inline void Push(SDL_Event event) {
    if (SDL_Window* window = qx::wnd->Handle()) {
        event.window.windowID = SDL_GetWindowID(window);
        event.motion.windowID = event.window.windowID;
    }
    SDL_PushEvent(&event);
}

inline void Focus() {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    Push(event);
}

inline void MouseMove(int dx, int dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    Push(event);
}

inline void MouseButton(bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    Push(event);
}

inline void Key(SDL_Scancode code, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.scancode = code;
    event.key.keysym.sym = SDL_GetKeyFromScancode(code);
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    Push(event);
}

// Queues a focus gain and then the caller's events, and runs them through the
// window procedure. Other windows on the same X server (parallel tests) can
// take the focus at any time, and an inactive window drops mouse motion and
// key flags, so the delivery is repeated until the window ends it active.
template <class Queue>
bool Deliver(Queue&& queue) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        Focus();
        queue();
        qx::wnd->ProcessMessages();
        if (qx::wnd->Active()) return true;
        // Inactive: this poll drops the motion, so the repeat does not count it twice.
        qx::inp->Poll();
        qx::inp->ClearStep();
    }
    return false;
}

// One pass of the main loop without its clock: the events, one update step.
template <class Queue>
void Step(Queue&& queue) {
    Deliver(queue);
    qx::eng->Update();
}
inline void Step() {
    Step([] {});
}

// The back buffer's pixel at window (x, y), y down.
inline std::array<int, 3> Pixel(int x, int y) {
    unsigned char rgba[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, qx::wnd->Height() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

// The mean colour of a w x h block with its top-left corner at (x, y), y down.
inline std::array<double, 3> Mean(int x, int y, int w, int h) {
    std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(x, qx::wnd->Height() - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::array<double, 3> sum{};
    for (size_t i = 0; i < rgba.size(); i += 4)
        for (int k = 0; k < 3; ++k) sum[k] += rgba[i + k];
    for (double& channel : sum) channel /= static_cast<double>(w) * h;
    return sum;
}

} // namespace test_window
