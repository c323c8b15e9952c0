// The window fixture of the tests (see window.h).
#include "tests/support/window.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/scene.h"
#include "engine/fontman.h"
#include "game/resources.h"

namespace test_window {

namespace {

// The height of the target being drawn to, for turning y-down rows into GL's
// bottom-up ones: a Target's while one is bound, else the window's.
int32_t boundTargetHeight = 0;

bool gameWindowReady = false;

bool CarriesWindow(uint32_t type) {
    switch (type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_WINDOWEVENT:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL: return true;
    default: return false;
    }
}

} // namespace

// Waiting for the focus here means no test sees a focus change it did not make itself.
bool WaitUntilActive() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!qx::wnd->Active() && std::chrono::steady_clock::now() < deadline) {
        qx::wnd->ProcessMessages();
        if (!qx::wnd->Active()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return qx::wnd->Active();
}

bool Open(int32_t width, int32_t height) {
    if (!qx::wnd->Created()) {
        // The size is set first so the window is made at it (a later resize
        // reaches the X server only some time after the call).
        qx::wnd->SetMode(false, width, height, 32, 0);
        qx::ogl->Fonts()->LoadConfig(std::string(NIVORA_GAME_DIR) + "/fonts.conf");
        if (!qx::wnd->Create("Nivora test", false)) {
            const char* display = std::getenv("DISPLAY");
            ADD_FAILURE() << "the main window could not be made (DISPLAY=" << (display ? display : "unset")
                          << "): run the tests through CTest, which gives each window test an X server";
            return false;
        }
        EXPECT_TRUE(WaitUntilActive()) << "the X server never gave the window the focus";
    }
    if (qx::wnd->Width() != width || qx::wnd->Height() != height || !qx::wnd->Windowed())
        qx::wnd->SetMode(false, width, height, 32, 0);
    EXPECT_EQ(qx::wnd->Width(), width);
    EXPECT_EQ(qx::wnd->Height(), height);
    return qx::wnd->Width() == width && qx::wnd->Height() == height;
}

void GameWindow::SetUp() {
    if (::chdir(NIVORA_GAME_DIR) != 0) return;
    gameWindowReady = Open(1024, 768);
    if (!gameWindowReady) return;
    LoadResources();
    qx::eng->SetProc(qx::PROC_UPDATE, AppUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, AppRender);
    qx::eng->SetProc(qx::PROC_MESSAGE, AppMessage);
}

void GameWindow::Install() { testing::AddGlobalTestEnvironment(new GameWindow); } // gtest owns it

bool GameWindow::Ready() { return gameWindowReady; }

void Push(SDL_Event event) {
    if (CarriesWindow(event.type) && qx::wnd->Handle()) event.window.windowID = SDL_GetWindowID(qx::wnd->Handle());
    SDL_PushEvent(&event);
}

void Deliver(const SDL_Event& event) {
    Push(event);
    qx::wnd->ProcessMessages();
}

SDL_Event KeyEvent(SDL_Scancode scancode, bool down, uint16_t mod, bool repeat) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    event.key.keysym.mod = mod;
    return event;
}

void Key(SDL_Scancode scancode, bool down, uint16_t mod, bool repeat) {
    Deliver(KeyEvent(scancode, down, mod, repeat));
}

void Tap(SDL_Scancode scancode, uint16_t mod) {
    Key(scancode, true, mod);
    Key(scancode, false, mod);
}

void Text(const std::string& utf8) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    utf8.copy(event.text.text, sizeof(event.text.text) - 1);
    Deliver(event);
}

void Focus(bool gained) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    Deliver(event);
}

SDL_Event MotionEvent(int dx, int dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    return event;
}

SDL_Event ButtonEvent(uint8_t button, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = button;
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return event;
}

SDL_Event WheelEvent(float notches) {
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = static_cast<Sint32>(notches);
    event.wheel.preciseY = notches;
    return event;
}

void Step() {
    qx::wnd->ProcessMessages();
    qx::eng->Update();
}

VirtualPad::VirtualPad() {
    index_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 16, 1);
    if (index_ < 0) {
        ADD_FAILURE() << "no virtual joystick: " << SDL_GetError();
        return;
    }
    device_ = SDL_JoystickOpen(index_);
    if (!device_) ADD_FAILURE() << "virtual joystick not opened: " << SDL_GetError();
}

VirtualPad::~VirtualPad() { PullOut(); }

void VirtualPad::PullOut() {
    if (device_) SDL_JoystickClose(device_);
    device_ = nullptr;
    if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
    index_ = -1;
}

void VirtualPad::SetButton(int button, bool down) {
    if (device_) SDL_JoystickSetVirtualButton(device_, button, down ? SDL_PRESSED : SDL_RELEASED);
}

void VirtualPad::SetHat(uint8_t direction) {
    if (device_) SDL_JoystickSetVirtualHat(device_, 0, direction);
}

void VirtualPad::SetAxis(int axis, int16_t value) {
    if (device_) SDL_JoystickSetVirtualAxis(device_, axis, value);
}

void VirtualPad::Button(int button) {
    SetButton(button, true);
    Step();
    SetButton(button, false);
    Step();
}

void VirtualPad::Hat(uint8_t direction) {
    SetHat(direction);
    Step();
    SetHat(SDL_HAT_CENTERED);
    Step();
}

TPicture ReadPixels(int32_t x, int32_t y, int32_t w, int32_t h) {
    TPicture picture{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    std::vector<uint8_t> rows(picture.rgba.size());
    const int32_t surfaceHeight = boundTargetHeight > 0 ? boundTargetHeight : qx::wnd->Height();
    if (boundTargetHeight == 0) glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, surfaceHeight - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    const size_t stride = static_cast<size_t>(w) * 4;
    for (int32_t row = 0; row < h; ++row)
        std::memcpy(picture.rgba.data() + row * stride, rows.data() + (h - 1 - row) * stride, stride);
    return picture;
}

TPicture ReadFrame() { return ReadPixels(0, 0, qx::wnd->Width(), qx::wnd->Height()); }

TRgb Pixel(int32_t x, int32_t y) { return ReadPixels(x, y, 1, 1).Rgb(0, 0); }

std::array<double, 3> Mean(int32_t x, int32_t y, int32_t w, int32_t h) {
    const TPicture block = ReadPixels(x, y, w, h);
    std::array<double, 3> sum{};
    for (size_t i = 0; i < block.rgba.size(); i += 4)
        for (int k = 0; k < 3; ++k) sum[k] += block.rgba[i + k];
    for (double& channel : sum) channel /= static_cast<double>(w) * h;
    return sum;
}

Target::Target(int32_t width, int32_t height) : width_(width), height_(height) {
    glGenFramebuffersEXT(1, &frameBuffer_);
    glGenRenderbuffersEXT(1, &colour_);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour_);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer_);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour_);
    boundTargetHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4ub(255, 255, 255, 255);
}

Target::~Target() {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    boundTargetHeight = 0;
    glDeleteRenderbuffersEXT(1, &colour_);
    glDeleteFramebuffersEXT(1, &frameBuffer_);
    glViewport(0, 0, qx::wnd->Width(), qx::wnd->Height());
}

bool Target::Complete() const {
    return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

void Target::Clear() const { glClear(GL_COLOR_BUFFER_BIT); }

TPicture Target::Pixels() const { return ReadPixels(0, 0, width_, height_); }

} // namespace test_window
