// The main window on a real X server: display modes and their fallback, and
// the window procedure fed with SDL events (keys, system keys, buttons, wheel,
// text, activation, mouse motion, closing).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <utility>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"
#include "tests/support/window.h"

using namespace test_window;

namespace {

struct TMessage {
    uint32_t msg, wParam, lParam;
};

std::vector<TMessage> messages;
std::vector<bool> activations;
std::vector<qx::TPointF> stepDeltas;

void RecordMessage(uint32_t msg, uint32_t wParam, uint32_t lParam) { messages.push_back({msg, wParam, lParam}); }
void RecordActive(bool active) { activations.push_back(active); }
void RecordDelta() { stepDeltas.push_back(qx::inp->MouseDelta()); }

std::vector<std::pair<uint32_t, uint32_t>> Received() {
    std::vector<std::pair<uint32_t, uint32_t>> list;
    for (const auto& m : messages)
        if (m.msg != qx::WM_MOUSEMOVE) list.emplace_back(m.msg, m.wParam);
    return list;
}

class MainWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        qx::eng->SetProc(qx::PROC_MESSAGE, RecordMessage);
        qx::eng->SetProc(qx::PROC_ACTIVE, RecordActive);
        Focus(true);
        qx::inp->Reset();
        messages.clear();
        activations.clear();
    }
    void TearDown() override {
        qx::eng->SetProc(qx::PROC_MESSAGE, nullptr);
        qx::eng->SetProc(qx::PROC_ACTIVE, nullptr);
        qx::eng->SetProc(qx::PROC_UPDATE, nullptr);
    }
};

TEST_F(MainWindow, CreatesOnceWithTheRequestedClientSize) {
    EXPECT_TRUE(qx::wnd->Created());
    EXPECT_FALSE(qx::wnd->External());
    EXPECT_TRUE(qx::wnd->Create("again", false)); // already there: nothing else happens
    EXPECT_EQ(qx::wnd->Width(), 640);
    EXPECT_EQ(qx::wnd->Height(), 480);
    const std::string log = TestLogText();
    EXPECT_NE(log.find("Window  : Create main window\r\n"), std::string::npos);
    EXPECT_LT(log.find("Window  : Create main window"), log.find("OpenGL  : Init graphics core"));
    EXPECT_FALSE(qx::wnd->Attach(reinterpret_cast<void*>(1))); // a window exists already
}

TEST_F(MainWindow, DesktopModeIsTheScreensMode) {
    int32_t width = 0, height = 0, bpp = 0, freq = -1;
    qx::wnd->DesktopMode(width, height, bpp, freq);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(width, mode.w);
    EXPECT_EQ(height, mode.h);
    EXPECT_EQ(bpp, static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format)));
    EXPECT_EQ(freq, mode.refresh_rate);
}

TEST_F(MainWindow, AModeTheScreenCannotShowFallsBackToAWindowOfThatSize) {
    EXPECT_FALSE(qx::wnd->SetMode(true, 800, 601, 32, 60));
    EXPECT_NE(TestLogText().find("Window  : Can't set video mode: 800x601x32x60\r\n"), std::string::npos);
    EXPECT_TRUE(qx::wnd->Windowed());
    EXPECT_EQ(qx::wnd->Width(), 800);
    EXPECT_EQ(qx::wnd->Height(), 601);
    EXPECT_EQ(qx::wnd->ModeWidth(), 800);
    EXPECT_EQ(qx::wnd->ModeHeight(), 601);
}

TEST_F(MainWindow, FullScreenAtTheDesktopModeAndAltEnterBackAndForth) {
    int32_t width = 0, height = 0, bpp = 0, freq = 0;
    qx::wnd->DesktopMode(width, height, bpp, freq);
    // A refresh rate the screen does not list is retried at the driver's choice.
    EXPECT_TRUE(qx::wnd->SetMode(true, width, height, bpp, freq + 61));
    EXPECT_FALSE(qx::wnd->Windowed());
    EXPECT_EQ(qx::wnd->Freq(), freq + 61);
    EXPECT_EQ(qx::wnd->Width(), width);
    EXPECT_EQ(qx::wnd->Height(), height);
    EXPECT_EQ(TestLogText().find("Can't set video mode: " + qx::TWnd::ModeText(width, height, bpp, freq + 61)),
              std::string::npos);
    // This X server has no window manager: full screen is a borderless window
    // over the whole screen, not a request for a manager to answer.
    int x = -1, y = -1;
    SDL_GetWindowPosition(qx::wnd->Handle(), &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    const uint32_t flags = SDL_GetWindowFlags(qx::wnd->Handle());
    EXPECT_NE(flags & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_TRUE(qx::wnd->SetMode(true, width, height, bpp, freq)); // already there: nothing moves
    EXPECT_EQ(qx::wnd->Width(), width);

    Tap(SDL_SCANCODE_RETURN, KMOD_LALT); // to a captioned window of the same client size
    EXPECT_TRUE(qx::wnd->Windowed());
    EXPECT_EQ(qx::wnd->Width(), width);
    EXPECT_EQ(qx::wnd->Height(), height);
    Tap(SDL_SCANCODE_RETURN, KMOD_LALT); // and back
    EXPECT_FALSE(qx::wnd->Windowed());
    EXPECT_FALSE(qx::inp->Down(13));

    EXPECT_TRUE(qx::wnd->SetMode(false, 640, 480, 24, 0));
    EXPECT_TRUE(qx::wnd->Windowed());
    EXPECT_EQ(qx::wnd->Width(), 640);
}

// The frame a mode change presents is there to make the driver size its
// buffers; a change that keeps the window's size presents none.
TEST_F(MainWindow, OnlyAModeChangeThatResizesTheWindowPresentsAClearedFrame) {
    const auto pixelAt = [](int x, int y) {
        uint8_t rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return std::vector<uint8_t>(rgba, rgba + 4);
    };
    const auto fillRed = [] {
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
    };
    const std::vector<uint8_t> red{255, 0, 0, 255};
    ASSERT_TRUE(qx::wnd->SetMode(false, 640, 480, 24, 0));
    fillRed();
    ASSERT_TRUE(qx::wnd->SetMode(false, 640, 480, 24, 0)); // same size: what was drawn stays
    EXPECT_EQ(pixelAt(320, 240), red);
    ASSERT_TRUE(qx::wnd->SetMode(false, 800, 600, 24, 0)); // a new size: the buffers follow at once
    fillRed();
    EXPECT_EQ(pixelAt(799, 599), red);
    ASSERT_TRUE(qx::wnd->SetMode(false, 640, 480, 24, 0));
}

TEST_F(MainWindow, KeysSetFlagsByUsLayoutCodes) {
    Key(SDL_SCANCODE_A, true);
    EXPECT_TRUE(qx::inp->Down(65));
    EXPECT_EQ(qx::inp->LastKey(), 65);
    Key(SDL_SCANCODE_UP, true);
    Key(SDL_SCANCODE_KP_ENTER, true);
    EXPECT_TRUE(qx::inp->Down(38));
    EXPECT_EQ(qx::inp->LastKey(), 13);
    Key(SDL_SCANCODE_A, false);
    EXPECT_FALSE(qx::inp->Down(65));
    EXPECT_TRUE(qx::inp->Down(38));
    Key(SDL_SCANCODE_PRINTSCREEN, false);
    // Enter also types a carriage return.
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {qx::WM_KEYDOWN, 65}, {qx::WM_KEYDOWN, 38}, {qx::WM_KEYDOWN, 13}, {qx::WM_CHAR, 13},
        {qx::WM_KEYUP, 65}, {qx::WM_KEYUP, 44}};
    EXPECT_EQ(Received(), expected);
}

TEST_F(MainWindow, AltKeysAndF10AreSystemKeysAndSetNoFlag) {
    Key(SDL_SCANCODE_X, true, KMOD_LALT);
    Key(SDL_SCANCODE_F10, true);
    Key(SDL_SCANCODE_F10, false);
    Key(SDL_SCANCODE_BACKSPACE, true, KMOD_LALT); // no typed character either
    EXPECT_FALSE(qx::inp->Down(88));
    EXPECT_FALSE(qx::inp->Down(121));
    EXPECT_FALSE(qx::inp->Down(8));
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {qx::WM_SYSKEYDOWN, 88}, {qx::WM_SYSKEYDOWN, 121}, {qx::WM_SYSKEYUP, 121}, {qx::WM_SYSKEYDOWN, 8}};
    EXPECT_EQ(Received(), expected);
}

TEST_F(MainWindow, AltSpaceTogglesMouseCapture) {
    const bool before = qx::inp->Captured();
    Tap(SDL_SCANCODE_SPACE, KMOD_LALT);
    EXPECT_EQ(qx::inp->Captured(), !before);
    EXPECT_EQ(SDL_GetRelativeMouseMode() == SDL_TRUE, !before);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE, before);
    Tap(SDL_SCANCODE_SPACE, KMOD_LALT);
    EXPECT_EQ(qx::inp->Captured(), before);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE, !before);
    EXPECT_FALSE(qx::inp->Down(32));
}

TEST_F(MainWindow, ButtonsIncludingTheExtraOnes) {
    const std::vector<std::pair<uint8_t, int32_t>> buttons = {
        {SDL_BUTTON_LEFT, 257}, {SDL_BUTTON_RIGHT, 258}, {SDL_BUTTON_MIDDLE, 259},
        {SDL_BUTTON_X1, 261},   {SDL_BUTTON_X2, 262}};
    for (const auto& [button, code] : buttons) {
        Deliver(ButtonEvent(button, true));
        EXPECT_TRUE(qx::inp->Down(code)) << code;
        EXPECT_EQ(qx::inp->LastKey(), code);
        Deliver(ButtonEvent(button, false));
        EXPECT_FALSE(qx::inp->Down(code)) << code;
    }
}

TEST_F(MainWindow, WheelGivesWholeNotchesThatReplaceThePreviousValue) {
    auto wheel = [](float notches) {
        Deliver(WheelEvent(notches));
        return qx::inp->Wheel();
    };
    EXPECT_EQ(wheel(1), 1);
    EXPECT_EQ(wheel(-1), -1);
    EXPECT_EQ(wheel(2), 2);
    EXPECT_EQ(wheel(0.5f), 0); // a high-resolution wheel's half notch
}

TEST_F(MainWindow, TextArrivesAsCodePage1251Characters) {
    Text("a\xD0\x91\xE2\x82\xAC\xF0\x9F\x98\x80z"); // a, Cyrillic Be, euro sign, an emoji, z
    Key(SDL_SCANCODE_BACKSPACE, true);
    Key(SDL_SCANCODE_TAB, true);
    Key(SDL_SCANCODE_ESCAPE, true);
    std::vector<uint32_t> typed;
    for (const auto& m : messages)
        if (m.msg == qx::WM_CHAR) typed.push_back(m.wParam);
    EXPECT_EQ(typed, (std::vector<uint32_t>{'a', 0xC1, 0x88, 'z', 8, 9, 27}));
}

std::vector<std::pair<uint32_t, uint32_t>> Typed() {
    std::vector<std::pair<uint32_t, uint32_t>> typed;
    for (const auto& m : messages)
        if (m.msg == qx::WM_CHAR || m.msg == qx::WM_SYSCHAR) typed.emplace_back(m.msg, m.wParam);
    return typed;
}

TEST_F(MainWindow, TextTypedWithAltIsASystemCharacter) {
    // Text input reports a key's text right after the key itself.
    Key(SDL_SCANCODE_LALT, true, KMOD_LALT);
    Key(SDL_SCANCODE_SPACE, true, KMOD_LALT);
    Text(" ");
    Key(SDL_SCANCODE_SPACE, false, KMOD_LALT);
    Key(SDL_SCANCODE_Q, true, KMOD_LALT);
    Text("q");
    Key(SDL_SCANCODE_Q, false, KMOD_LALT);
    Key(SDL_SCANCODE_LALT, false);
    Key(SDL_SCANCODE_Q, true);
    Text("q");
    Key(SDL_SCANCODE_Q, false);
    Key(SDL_SCANCODE_E, true, KMOD_RALT | KMOD_LCTRL); // AltGr types ordinary characters
    Text("\xE2\x82\xAC");
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {qx::WM_SYSCHAR, ' '}, {qx::WM_SYSCHAR, 'q'}, {qx::WM_CHAR, 'q'}, {qx::WM_CHAR, 0x88}};
    EXPECT_EQ(Typed(), expected);
}

TEST_F(MainWindow, CtrlWithALetterTypesItsControlCharacter) {
    Key(SDL_SCANCODE_H, true, KMOD_LCTRL);
    Key(SDL_SCANCODE_A, true, KMOD_RCTRL);
    Key(SDL_SCANCODE_1, true, KMOD_LCTRL); // not a letter: nothing
    Key(SDL_SCANCODE_BACKSPACE, true, KMOD_LCTRL); // delete, not a backspace
    Key(SDL_SCANCODE_RETURN, true, KMOD_RCTRL);    // a line feed, not a carriage return
    Key(SDL_SCANCODE_KP_ENTER, true, KMOD_LCTRL);
    EXPECT_TRUE(qx::inp->Down('H'));
    EXPECT_TRUE(qx::inp->Down(qx::key::Enter)) << "the key itself is Enter whatever Ctrl does";
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {qx::WM_CHAR, 8}, {qx::WM_CHAR, 1}, {qx::WM_CHAR, 127}, {qx::WM_CHAR, 10}, {qx::WM_CHAR, 10}};
    EXPECT_EQ(Typed(), expected);
}

TEST_F(MainWindow, TheKeypadNavigatesWithNumLockOffAndGivesDigitsWithItOn) {
    const std::vector<std::pair<SDL_Scancode, int32_t>> navigation = {
        {SDL_SCANCODE_KP_8, qx::key::Up},     {SDL_SCANCODE_KP_2, qx::key::Down},
        {SDL_SCANCODE_KP_4, qx::key::Left},   {SDL_SCANCODE_KP_6, qx::key::Right},
        {SDL_SCANCODE_KP_7, qx::key::Home},   {SDL_SCANCODE_KP_1, qx::key::End},
        {SDL_SCANCODE_KP_9, qx::key::PageUp}, {SDL_SCANCODE_KP_3, qx::key::PageDown},
        {SDL_SCANCODE_KP_0, qx::key::Insert}, {SDL_SCANCODE_KP_PERIOD, qx::key::Delete}};
    for (const auto& [scancode, code] : navigation) {
        Key(scancode, true);
        EXPECT_EQ(qx::inp->LastKey(), code) << "scancode " << scancode;
        EXPECT_TRUE(qx::inp->Down(code));
        Key(scancode, false);
        EXPECT_FALSE(qx::inp->Down(code));
    }
    Key(SDL_SCANCODE_KP_8, true, KMOD_NUM);
    EXPECT_EQ(qx::inp->LastKey(), qx::key::Numpad0 + 8);
    Key(SDL_SCANCODE_KP_PERIOD, true, KMOD_NUM);
    EXPECT_EQ(qx::inp->LastKey(), 110); // the decimal point
    Key(SDL_SCANCODE_KP_ENTER, true); // Enter whatever the lock
    EXPECT_EQ(qx::inp->LastKey(), qx::key::Enter);
}

TEST_F(MainWindow, ActivationChangesClearEveryFlagAndReachTheActiveProc) {
    Key(SDL_SCANCODE_W, true);
    Key(SDL_SCANCODE_LSHIFT, true);
    Focus(false);
    EXPECT_FALSE(qx::wnd->Active());
    EXPECT_FALSE(qx::inp->Down(87));
    EXPECT_FALSE(qx::inp->Down(16));
    EXPECT_TRUE(qx::wnd->Windowed());
    Key(SDL_SCANCODE_W, true);
    Focus(true);
    EXPECT_TRUE(qx::wnd->Active());
    EXPECT_FALSE(qx::inp->Down(87));
    EXPECT_EQ(activations, (std::vector<bool>{false, true}));
    std::vector<uint32_t> activationMessages;
    for (const auto& m : messages)
        if (m.msg == qx::WM_ACTIVATEAPP) activationMessages.push_back(m.wParam);
    EXPECT_EQ(activationMessages, (std::vector<uint32_t>{0, 1}));
}

TEST_F(MainWindow, MouseMotionIsSeenByTheFirstStepOnly) {
    qx::inp->MCapture(true);
    qx::eng->SetProc(qx::PROC_UPDATE, RecordDelta);
    stepDeltas.clear();
    Push(MotionEvent(3, -2));
    const SDL_Event event = MotionEvent(2, 0);
    Deliver(event);
    qx::eng->Update();
    qx::eng->Update();
    ASSERT_EQ(stepDeltas.size(), 2u);
    EXPECT_FLOAT_EQ(stepDeltas[0].x, 5);
    EXPECT_FLOAT_EQ(stepDeltas[0].y, -2);
    EXPECT_FLOAT_EQ(stepDeltas[1].x, 0);
    EXPECT_FLOAT_EQ(stepDeltas[1].y, 0);

    // Without capture (or while inactive) motion is not the game's.
    qx::inp->MCapture(false);
    Deliver(event);
    qx::eng->Update();
    EXPECT_FLOAT_EQ(stepDeltas[2].x, 0);
    qx::inp->MCapture(true);
    Focus(false);
    Deliver(event);
    qx::eng->Update();
    EXPECT_FLOAT_EQ(stepDeltas[3].x, 0);
}

TEST_F(MainWindow, DisplayChangeIsLoggedWithTheNewMode) {
    SDL_Event event{};
    event.type = SDL_DISPLAYEVENT;
    event.display.event = SDL_DISPLAYEVENT_CONNECTED;
    Deliver(event);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &mode), 0);
    const std::string line = "Window  : " + qx::TWnd::ModeText(mode.w, mode.h, SDL_BITSPERPIXEL(mode.format),
                                                              mode.refresh_rate) + "\r\n";
    EXPECT_NE(TestLogText().find(line), std::string::npos) << line;
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().msg, qx::WM_DISPLAYCHANGE);
}

// Alt+F4 reaches the game only where no window manager took it: it closes the
// window as the manager would have. Ends the engine, so it makes a fresh one.
TEST_F(MainWindow, AltF4ClosesTheWindow) {
    Key(SDL_SCANCODE_F4, true, KMOD_LALT, true); // a repeat of a key held since before does not
    EXPECT_FALSE(qx::eng->Quitting());
    Key(SDL_SCANCODE_F4, true, KMOD_LALT);
    EXPECT_TRUE(qx::eng->Quitting());
    qx::InitEngine(TestLogPath());
}

// A window manager sends focus events of its own as it restyles or restacks:
// a repeated gain or loss is no new activation.
TEST_F(MainWindow, ARepeatedFocusEventIsNoNewActivation) {
    Focus(true);
    Focus(false);
    Focus(false);
    Focus(true);
    Focus(true);
    EXPECT_EQ(activations, (std::vector<bool>{false, true}));
}

// Runs last in this program: it ends the engine, so it makes a fresh one.
TEST_F(MainWindow, ClosingTheWindowEndsTheLoopWithoutReachingTheMessageProc) {
    qx::eng->SetPauseInactive(true);
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    Deliver(event);
    EXPECT_TRUE(qx::eng->Quitting());
    EXPECT_FALSE(qx::eng->PauseInactive());
    for (const auto& m : messages) EXPECT_NE(m.msg, qx::WM_DESTROY);

    qx::InitEngine(TestLogPath());
    EXPECT_FALSE(qx::eng->Quitting());
}

// The host side of an adopted window: a plain X window made through libX11,
// which the engine itself never links.
struct TX11 {
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F Get(const char* name) const { return library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr; }
    ~TX11() {
        if (library) dlclose(library);
    }
};

TEST(AdoptedWindow, IsNeverRestyledAndKeepsItsHost) {
    qx::InitEngine(TestLogPath());
    TX11 x11;
    auto openDisplay = x11.Get<Display* (*)(const char*)>("XOpenDisplay");
    auto createWindow = x11.Get<Window (*)(Display*, Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                                           unsigned long)>("XCreateSimpleWindow");
    auto mapWindow = x11.Get<int (*)(Display*, Window)>("XMapWindow");
    auto sync = x11.Get<int (*)(Display*, Bool)>("XSync");
    auto getAttributes = x11.Get<Status (*)(Display*, Window, XWindowAttributes*)>("XGetWindowAttributes");
    auto destroyWindow = x11.Get<int (*)(Display*, Window)>("XDestroyWindow");
    auto closeDisplay = x11.Get<int (*)(Display*)>("XCloseDisplay");
    ASSERT_TRUE(openDisplay && createWindow && mapWindow && sync && getAttributes && destroyWindow && closeDisplay);
    Display* display = openDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window host = createWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0, 0);
    mapWindow(display, host);
    sync(display, False);

    const bool adopted = qx::wnd->Attach(reinterpret_cast<void*>(host));
    // X11 windows can be adopted, with a GL context of their own.
    ASSERT_TRUE(adopted);
    EXPECT_TRUE(qx::wnd->External());
    EXPECT_TRUE(qx::ogl->HasContext());
    EXPECT_NE(TestLogText().find("Window  : Setting main window\r\n"), std::string::npos);
    EXPECT_EQ(TestLogText().find("Window  : Create main window"), std::string::npos);
    EXPECT_FALSE(qx::wnd->SetMode(true, 320, 200, 24, 0));
    EXPECT_EQ(qx::wnd->Width(), 320);
    EXPECT_EQ(qx::wnd->Height(), 200);
    qx::InitEngine(TestLogPath()); // releases the adopted window
    XWindowAttributes attributes;
    EXPECT_NE(getAttributes(display, host, &attributes), 0); // the host's window survives
    destroyWindow(display, host);
    closeDisplay(display);
}

} // namespace
