// The main window on SDL. SDL events are translated into the engine's messages
// (key codes of the US layout, text in code page 1251) and run through the
// window procedure, so the rest of the engine and the game see one message
// stream whatever the windowing system. The log's message box is shown here
// too, so SDL stays inside the modules that own the screen.
#include "engine/wnd.h"

#include <GL/gl.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "engine/cp1251.h"
#include "engine/engine.h"
#include "engine/msgbox_internal.h"
#include "engine/sdl_internal.h"

namespace qx {

namespace {

// Xlib ends the process when the display connection is lost (the X server
// died or the session ended); its default handler calls exit(), whose shutdown
// would then wait on the dead connection for ever. Leave at once instead, with
// the reason in the log, whose lines are already on disk.
extern "C" int OnDisplayLost(Display*) {
    if (log) log->Print("Window  : Display connection lost");
    ::_exit(1);
}

bool ShowsNothing(std::string_view driver) { return driver == "offscreen" || driver == "dummy"; }

constexpr uint32_t kWaitTimeoutMs = 100;

// Window managers move the focus of their own accord: away and back while
// they restyle a window for full screen, back to a window the game has just
// minimised. Under one, a focus change is weighed by where the focus still is
// a moment later: a loss once it has lasted kLossMs, and any change that
// follows one of the game's own window calls (showing, a mode, minimising,
// restoring) once the manager has had kSettleMs to answer it.
constexpr uint32_t kLossMs = 300;
constexpr uint32_t kSettleMs = 1000;

void WndLog(const std::string& message) {
    if (log) log->Print("Window  : " + message);
}

uint32_t LowWord(uint32_t value) { return value & 0xFFFF; }
uint32_t HighWord(uint32_t value) { return value >> 16; }
uint32_t MakeLong(uint32_t low, uint32_t high) { return (low & 0xFFFF) | ((high & 0xFFFF) << 16); }

// SDL scancodes to the virtual-key codes of the US layout, so letter and digit
// codes do not depend on the player's keyboard layout. 0: no key code.
constexpr std::array<uint8_t, SDL_NUM_SCANCODES> MakeKeyTable() {
    std::array<uint8_t, SDL_NUM_SCANCODES> table{};
    const auto set = [&table](SDL_Scancode scancode, int32_t code) { table[scancode] = static_cast<uint8_t>(code); };
    for (int i = 0; i < 26; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_A + i), key::A + i);
    for (int i = 0; i < 9; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i), key::Digit0 + 1 + i);
    set(SDL_SCANCODE_0, key::Digit0);
    set(SDL_SCANCODE_RETURN, key::Enter);
    set(SDL_SCANCODE_ESCAPE, key::Esc);
    set(SDL_SCANCODE_BACKSPACE, key::Backspace);
    set(SDL_SCANCODE_TAB, key::Tab);
    set(SDL_SCANCODE_SPACE, key::Space);
    set(SDL_SCANCODE_MINUS, key::Minus);
    set(SDL_SCANCODE_EQUALS, key::Equals);
    set(SDL_SCANCODE_LEFTBRACKET, key::LeftBracket);
    set(SDL_SCANCODE_RIGHTBRACKET, key::RightBracket);
    set(SDL_SCANCODE_BACKSLASH, key::Backslash);
    set(SDL_SCANCODE_NONUSHASH, key::Backslash);
    set(SDL_SCANCODE_SEMICOLON, key::Semicolon);
    set(SDL_SCANCODE_APOSTROPHE, key::Apostrophe);
    set(SDL_SCANCODE_GRAVE, key::Grave);
    set(SDL_SCANCODE_COMMA, key::Comma);
    set(SDL_SCANCODE_PERIOD, key::Period);
    set(SDL_SCANCODE_SLASH, key::Slash);
    set(SDL_SCANCODE_CAPSLOCK, key::CapsLock);
    for (int i = 0; i < 12; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i), key::F1 + i);
    for (int i = 0; i < 12; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_F13 + i), key::F13 + i);
    set(SDL_SCANCODE_PRINTSCREEN, key::PrintScreen);
    set(SDL_SCANCODE_SCROLLLOCK, key::ScrollLock);
    set(SDL_SCANCODE_PAUSE, key::Pause);
    set(SDL_SCANCODE_INSERT, key::Insert);
    set(SDL_SCANCODE_HOME, key::Home);
    set(SDL_SCANCODE_PAGEUP, key::PageUp);
    set(SDL_SCANCODE_DELETE, key::Delete);
    set(SDL_SCANCODE_END, key::End);
    set(SDL_SCANCODE_PAGEDOWN, key::PageDown);
    set(SDL_SCANCODE_RIGHT, key::Right);
    set(SDL_SCANCODE_LEFT, key::Left);
    set(SDL_SCANCODE_DOWN, key::Down);
    set(SDL_SCANCODE_UP, key::Up);
    set(SDL_SCANCODE_NUMLOCKCLEAR, key::NumLock);
    set(SDL_SCANCODE_KP_DIVIDE, key::Divide);
    set(SDL_SCANCODE_KP_MULTIPLY, key::Multiply);
    set(SDL_SCANCODE_KP_MINUS, key::Subtract);
    set(SDL_SCANCODE_KP_PLUS, key::Add);
    set(SDL_SCANCODE_KP_ENTER, key::Enter);
    for (int i = 0; i < 9; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_KP_1 + i), key::Numpad0 + 1 + i);
    set(SDL_SCANCODE_KP_0, key::Numpad0);
    set(SDL_SCANCODE_KP_PERIOD, key::Decimal);
    set(SDL_SCANCODE_NONUSBACKSLASH, key::IntlBackslash);
    set(SDL_SCANCODE_APPLICATION, key::Apps);
    set(SDL_SCANCODE_LCTRL, key::Control);
    set(SDL_SCANCODE_RCTRL, key::Control);
    set(SDL_SCANCODE_LSHIFT, key::Shift);
    set(SDL_SCANCODE_RSHIFT, key::Shift);
    set(SDL_SCANCODE_LALT, key::Alt);
    set(SDL_SCANCODE_RALT, key::Alt);
    set(SDL_SCANCODE_LGUI, key::LeftWin);
    set(SDL_SCANCODE_RGUI, key::RightWin);
    return table;
}

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kKeyTable = MakeKeyTable();

// The keypad's codes while NumLock is off; 0 for every other key.
constexpr std::array<uint8_t, SDL_NUM_SCANCODES> MakeKeypadNavigation() {
    std::array<uint8_t, SDL_NUM_SCANCODES> table{};
    const auto set = [&table](SDL_Scancode scancode, int32_t code) { table[scancode] = static_cast<uint8_t>(code); };
    set(SDL_SCANCODE_KP_7, key::Home);
    set(SDL_SCANCODE_KP_8, key::Up);
    set(SDL_SCANCODE_KP_9, key::PageUp);
    set(SDL_SCANCODE_KP_4, key::Left);
    set(SDL_SCANCODE_KP_5, key::Clear);
    set(SDL_SCANCODE_KP_6, key::Right);
    set(SDL_SCANCODE_KP_1, key::End);
    set(SDL_SCANCODE_KP_2, key::Down);
    set(SDL_SCANCODE_KP_3, key::PageDown);
    set(SDL_SCANCODE_KP_0, key::Insert);
    set(SDL_SCANCODE_KP_PERIOD, key::Delete);
    return table;
}

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kKeypadNavigation = MakeKeypadNavigation();

// Decodes the UTF-8 character at text[pos] and advances pos past it; a
// malformed sequence gives U+FFFD (which has no 1251 byte) and skips one byte.
uint32_t NextCodePoint(const char* text, size_t& pos) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    int extra = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        codePoint = lead & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<uint8_t>(text[pos + i]);
        if ((next & 0xC0) != 0x80) { // also stops at the terminating zero
            ++pos;
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    pos += static_cast<size_t>(extra) + 1;
    return codePoint;
}

// True when a listed mode shows the request; 32 bits also matches the 24-bit
// formats SDL stores in four bytes per pixel.
bool ModeMatches(const SDL_DisplayMode& mode, int32_t width, int32_t height, int32_t bpp, int32_t freq) {
    const auto bits = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
    const auto storage = static_cast<int32_t>(SDL_BYTESPERPIXEL(mode.format)) * 8;
    return mode.w == width && mode.h == height && (bits == bpp || storage == bpp) &&
           (freq == 0 || mode.refresh_rate == freq);
}

bool SameMode(const SDL_DisplayMode& a, const SDL_DisplayMode& b) {
    return a.w == b.w && a.h == b.h && a.format == b.format && a.refresh_rate == b.refresh_rate;
}

struct TScreenMode {
    int32_t width = 0, height = 0, bpp = 0, freq = 0;
    bool operator==(const TScreenMode&) const = default;
};

TScreenMode CurrentScreenMode(int display) {
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(display, &mode) != 0) return {};
    return {mode.w, mode.h, static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format)), mode.refresh_rate};
}

// The X display of a window, or null under another windowing system.
Display* X11DisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

// The atoms of one of the root window's atom-list properties; empty when unset.
std::vector<Atom> RootAtoms(Display* display, const char* property) {
    std::vector<Atom> atoms;
    const Atom name = XInternAtom(display, property, True);
    if (name == None) return atoms;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), name, 0, 4096, False, XA_ATOM, &type, &format, &count,
                           &remaining, &data) == Success && data) {
        if (type == XA_ATOM && format == 32) {
            const auto* list = reinterpret_cast<const Atom*>(data);
            atoms.assign(list, list + count);
        }
        XFree(data);
    }
    return atoms;
}

// What the window manager of the window's screen does, from the EWMH features
// it lists. Only a manager answers the game's own window calls with focus
// changes of its own. It keeps a minimised window and gives it back when it
// lists the hidden state: a bare X server has no manager, and some (a Wayland
// compositor's X bridge) accept a minimise but offer no way back to the window.
struct TWindowManager {
    bool present = false;
    bool keepsMinimised = false;
};

TWindowManager WindowManagerOf(SDL_Window* window) {
    if (!window) return {};
    Display* display = X11DisplayOf(window);
    if (!display) return {true, true}; // a Wayland compositor manages its windows and decides for itself
    const std::vector<Atom> supported = RootAtoms(display, "_NET_SUPPORTED");
    const Atom hidden = XInternAtom(display, "_NET_WM_STATE_HIDDEN", True);
    return {!supported.empty(),
            hidden != None && std::find(supported.begin(), supported.end(), hidden) != supported.end()};
}

int DisplayOf(SDL_Window* window) {
    const int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    return display < 0 ? 0 : display;
}


} // namespace

// Translates one SDL event into messages for the window procedure.
class TWnd::TEventTranslator {
public:
    explicit TEventTranslator(TWnd& window) : window_(window) {}

    void Translate(const SDL_Event& event) {
        switch (event.type) {
        case SDL_QUIT: window_.WndProc(WM_DESTROY, 0, 0); break;
        case SDL_WINDOWEVENT: Window(event.window); break;
        case SDL_DISPLAYEVENT: DisplayChanged(); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: Key(event.key); break;
        case SDL_TEXTINPUT: Text(event.text.text); break;
        case SDL_MOUSEMOTION: Motion(event.motion); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: Button(event.button); break;
        case SDL_MOUSEWHEEL: Wheel(event.wheel); break;
        // Device events carry a device index when added and an instance id when removed.
        case SDL_JOYDEVICEADDED:
            if (inp) inp->JoyAdded(event.jdevice.which);
            break;
        case SDL_JOYDEVICEREMOVED:
            if (inp) inp->JoyRemoved(event.jdevice.which);
            break;
        default:
            if (event.type == SdlMusicEvent()) window_.WndProc(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 0);
            break;
        }
    }

private:
    bool Ours(uint32_t windowId) const {
        // Pushed events may carry no window; everything else must be ours.
        return windowId == 0 || (window_.Handle() && windowId == SDL_GetWindowID(window_.Handle()));
    }

    void Window(const SDL_WindowEvent& event) {
        if (!Ours(event.windowID)) return;
        switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE: window_.WndProc(WM_DESTROY, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: Activation(true); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: Activation(false); break;
        default: break;
        }
    }

    void Activation(bool gained) {
        if (window_.External()) window_.WndProc(WM_ACTIVATEAPP, gained ? 1 : 0, 0);
        else window_.FocusChanged(gained);
    }

    void DisplayChanged() {
        const TScreenMode mode = CurrentScreenMode(DisplayOf(window_.Handle()));
        window_.WndProc(WM_DISPLAYCHANGE, static_cast<uint32_t>(mode.bpp),
                        MakeLong(static_cast<uint32_t>(mode.width), static_cast<uint32_t>(mode.height)));
    }

    void Key(const SDL_KeyboardEvent& event) {
        if (!Ours(event.windowID)) return;
        const SDL_Scancode scancode = event.keysym.scancode;
        if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return;
        const uint16_t mod = event.keysym.mod;
        const bool down = event.type == SDL_KEYDOWN;
        // Alt (without Ctrl, which makes it AltGr) turns keys into system keys,
        // as does F10 on its own; the Alt keys themselves count as system keys.
        const bool altHeld = (mod & KMOD_ALT) != 0 && (mod & KMOD_CTRL) == 0;
        // The text this key types, which text input reports next, is a system
        // character when Alt is held.
        window_.typingWithAlt_ = down && altHeld;
        // With NumLock off the keypad is a second set of navigation keys.
        const uint32_t navigation = (mod & KMOD_NUM) == 0 ? kKeypadNavigation[scancode] : 0;
        const uint32_t code = navigation != 0 ? navigation : kKeyTable[scancode];
        if (code == 0) return;
        const bool system = altHeld || code == key::F10 || scancode == SDL_SCANCODE_LALT ||
                            scancode == SDL_SCANCODE_RALT;
        uint32_t lParam = 1 | ((static_cast<uint32_t>(scancode) & 0xFF) << 16);
        if (altHeld) lParam |= 1u << 29;
        if (event.repeat || !down) lParam |= 1u << 30;
        if (!down) lParam |= 1u << 31;
        const uint32_t msg = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
        window_.WndProc(msg, code, lParam);
        if (!down || system) return;
        // Control characters, which text input does not report: these keys
        // type theirs, and Ctrl with a letter types the letter's (Ctrl+H is a
        // backspace). With Ctrl, Backspace types 127 (delete) and Enter 10
        // (line feed), which text entry ignores.
        const bool ctrlHeld = (mod & KMOD_CTRL) != 0 && (mod & KMOD_ALT) == 0;
        if (ctrlHeld && code == key::Backspace)
            window_.WndProc(WM_CHAR, 127, lParam);
        else if (ctrlHeld && code == key::Enter)
            window_.WndProc(WM_CHAR, 10, lParam);
        else if (code == key::Backspace || code == key::Tab || code == key::Enter || code == key::Esc)
            window_.WndProc(WM_CHAR, code, lParam);
        else if (ctrlHeld && code >= key::A && code < key::A + 26)
            window_.WndProc(WM_CHAR, code - key::A + 1, lParam);
    }

    void Text(const char* text) {
        const uint32_t msg = window_.typingWithAlt_ ? WM_SYSCHAR : WM_CHAR;
        window_.typingWithAlt_ = false;
        size_t pos = 0;
        while (pos < SDL_TEXTINPUTEVENT_TEXT_SIZE && text[pos] != 0) {
            const int32_t byte = UnicodeToCp1251(NextCodePoint(text, pos));
            // Control characters come with their keys, not from text input.
            if (byte >= 32 && byte != 127) window_.WndProc(msg, static_cast<uint32_t>(byte), 1);
        }
    }

    void Motion(const SDL_MouseMotionEvent& event) {
        if (!Ours(event.windowID)) return;
        if (!window_.External() && inp)
            inp->AddMouseMotion(static_cast<float>(event.xrel), static_cast<float>(event.yrel));
        window_.WndProc(WM_MOUSEMOVE, 0, MakeLong(static_cast<uint32_t>(event.x), static_cast<uint32_t>(event.y)));
    }

    void Button(const SDL_MouseButtonEvent& event) {
        if (!Ours(event.windowID)) return;
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        const uint32_t position = MakeLong(static_cast<uint32_t>(event.x), static_cast<uint32_t>(event.y));
        switch (event.button) {
        case SDL_BUTTON_LEFT: window_.WndProc(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, position); break;
        case SDL_BUTTON_RIGHT: window_.WndProc(down ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, position); break;
        case SDL_BUTTON_MIDDLE: window_.WndProc(down ? WM_MBUTTONDOWN : WM_MBUTTONUP, 0, position); break;
        case SDL_BUTTON_X1: window_.WndProc(down ? WM_XBUTTONDOWN : WM_XBUTTONUP, MakeLong(0, 1), position); break;
        case SDL_BUTTON_X2: window_.WndProc(down ? WM_XBUTTONDOWN : WM_XBUTTONUP, MakeLong(0, 2), position); break;
        default: break;
        }
    }

    void Wheel(const SDL_MouseWheelEvent& event) {
        if (!Ours(event.windowID)) return;
        float notches = event.preciseY;
        if (event.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        const long delta = std::lround(std::clamp(notches * WHEEL_DELTA, -32768.0f, 32767.0f));
        window_.WndProc(WM_MOUSEWHEEL, MakeLong(0, static_cast<uint32_t>(delta)), 0);
    }

    TWnd& window_;
};

TMsgBoxLayout MsgBoxLayout(int32_t type) {
    const TMsgBoxButton ok{TLog::IDOK, "OK"}, cancel{TLog::IDCANCEL, "Cancel"}, abort{TLog::IDABORT, "Abort"},
        retry{TLog::IDRETRY, "Retry"}, ignore{TLog::IDIGNORE, "Ignore"}, yes{TLog::IDYES, "Yes"},
        no{TLog::IDNO, "No"}, tryAgain{TLog::IDTRYAGAIN, "Try Again"}, proceed{TLog::IDCONTINUE, "Continue"};
    TMsgBoxLayout layout;
    auto set = [&](std::initializer_list<TMsgBoxButton> buttons, int32_t escapeId) {
        for (const TMsgBoxButton& button : buttons) layout.buttons[layout.count++] = button;
        layout.escapeId = escapeId;
    };
    switch (type & 0x0F) {
    case TLog::MB_OK: set({ok}, TLog::IDOK); break;
    case TLog::MB_OKCANCEL: set({ok, cancel}, TLog::IDCANCEL); break;
    case TLog::MB_ABORTRETRYIGNORE: set({abort, retry, ignore}, 0); break;
    case TLog::MB_YESNOCANCEL: set({yes, no, cancel}, TLog::IDCANCEL); break;
    case TLog::MB_YESNO: set({yes, no}, 0); break;
    case TLog::MB_RETRYCANCEL: set({retry, cancel}, TLog::IDCANCEL); break;
    case TLog::MB_CANCELTRYCONTINUE: set({cancel, tryAgain, proceed}, TLog::IDCANCEL); break;
    default: return {};
    }
    // A default beyond the last button falls back to the first.
    const int32_t defaultIndex = (type >> 8) & 0x0F;
    layout.defaultIndex = defaultIndex < layout.count ? defaultIndex : 0;
    return layout;
}

int32_t ShowMsgBox(const std::string& caption, const std::string& text, int32_t type) {
    const TMsgBoxLayout layout = MsgBoxLayout(type);
    if (layout.count == 0) {
        WndLog("Can't show message box: unknown buttons " + IntToStr(type & 0x0F));
        return 0;
    }
    std::array<SDL_MessageBoxButtonData, 3> buttons{};
    for (int32_t i = 0; i < layout.count; ++i) {
        buttons[i].buttonid = layout.buttons[i].id;
        buttons[i].text = layout.buttons[i].label;
        if (i == layout.defaultIndex) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (layout.buttons[i].id == layout.escapeId) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    if ((type & 0xF0) == TLog::MB_ICONERROR)
        box.flags = SDL_MESSAGEBOX_ERROR | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    else if ((type & 0xF0) == TLog::MB_ICONWARNING)
        box.flags = SDL_MESSAGEBOX_WARNING | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.title = caption.c_str();
    box.message = text.c_str();
    box.numbuttons = layout.count;
    box.buttons = buttons.data();
    int chosen = -1;
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        WndLog("Can't show message box: " + std::string(SDL_GetError()));
        return 0;
    }
    // Closed without a button: what Esc would have chosen.
    return chosen < 0 ? layout.escapeId : chosen;
}

TWnd::TWnd() = default;

TWnd::~TWnd() {
    if (handle_) {
        if (created_ && !external_) {
            created_ = false;
            SDL_DestroyWindow(handle_);
            WndLog("Destroy main window");
        } else {
            // Frees SDL's record of an adopted window; the host's window stays.
            SDL_DestroyWindow(handle_);
        }
        handle_ = nullptr;
    }
    // SDL's video stays up for the rest of the process: stopping it closes the
    // display connection and unloads the GL driver, which would leave its
    // allocations without an owner for the leak checker to attribute. Leaving a
    // full-screen window already gave the desktop its mode back.
}

bool TWnd::StartVideo() const {
    if (!videoStarted_) {
        // Deactivation is handled by the window procedure, which gives the
        // desktop its mode back itself.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        videoStarted_ = SdlStart(SDL_INIT_VIDEO);
        const char* driver = videoStarted_ ? SDL_GetCurrentVideoDriver() : nullptr;
        // Without a display SDL falls back to drivers that show nothing; a
        // window no one can see has failed, unless the user asked for that
        // driver by name.
        const char* asked = SDL_getenv("SDL_VIDEODRIVER");
        if (driver && ShowsNothing(driver) && !(asked && SDL_strcasecmp(asked, driver) == 0)) {
            SdlStop(SDL_INIT_VIDEO);
            videoStarted_ = false;
            driver = nullptr;
        }
        if (driver && std::string_view(driver) == "x11") XSetIOErrorHandler(OnDisplayLost);
    }
    return videoStarted_;
}

bool TWnd::Create(const std::string& caption, bool onTop) {
    if (created_) return true;
    if (external_) {
        WndLog("Setting main window");
        created_ = true;
    } else {
        const bool video = StartVideo();
        // The multisample probe needs its own window and must settle the
        // sample count before the main window's pixel format is fixed.
        if (video && ogl && ogl->AASamples() > 0) ogl->AAInit();
        WndLog("Create main window");
        if (!video) {
            WndLog("Fatal Error \"RegisterClassEx\"");
            return false;
        }
        if (ogl) ogl->PrepareFormat();
        uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
        if (onTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        onTop_ = onTop;
        handle_ = SDL_CreateWindow(caption.c_str(), 0, 0, modeWidth_, modeHeight_, flags);
        // A screen without an OpenGL pixel format still takes a plain window;
        // the GL module then reports the failed set-up as its own.
        if (!handle_)
            handle_ = SDL_CreateWindow(caption.c_str(), 0, 0, modeWidth_, modeHeight_, flags & ~SDL_WINDOW_OPENGL);
        created_ = handle_ != nullptr;
        if (!created_) {
            WndLog("Fatal Error \"CreateWindoEx\"");
            return false;
        }
    }

    // A failed graphics set-up leaves the window existing but hidden.
    if (ogl && !ogl->Init()) return false;
    if (snd) snd->SndInit();

    if (!external_) {
        SDL_ShowWindow(handle_);
        SDL_RaiseWindow(handle_);
        SDL_SetWindowInputFocus(handle_);
        OwnWindowCall();
    }
    ApplyMode();
    if (inp) inp->MCapture(true);
    SDL_StartTextInput();
    // The activation that showing the window caused is handled now, as a
    // window system that sends it synchronously would.
    ProcessMessages();
    return true;
}

bool TWnd::Attach(void* nativeHandle) {
    if (created_ || !nativeHandle || !StartVideo()) return false;
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    if (ogl) ogl->PrepareFormat();
    handle_ = SDL_CreateWindowFrom(nativeHandle);
    if (!handle_) {
        WndLog("Can't adopt window: " + std::string(SDL_GetError()));
        return false;
    }
    external_ = true;
    return Create("", false);
}

SDL_Window* TWnd::Handle() const { return handle_; }

void TWnd::SetCaption(const std::string& text) {
    if (handle_) SDL_SetWindowTitle(handle_, text.c_str());
}

int32_t TWnd::Width() const {
    if (!handle_) return 0;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(handle_, &width, &height);
    return width;
}

int32_t TWnd::Height() const {
    if (!handle_) return 0;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(handle_, &width, &height);
    return height;
}

std::string TWnd::ModeText(int32_t width, int32_t height, int32_t bpp, int32_t freq) {
    return IntToStr(width) + "x" + IntToStr(height) + "x" + IntToStr(bpp) + "x" + IntToStr(freq);
}

bool TWnd::SetMode(bool fullScreen, int32_t width, int32_t height, int32_t bpp, int32_t freq) {
    if (external_) return false;
    const int display = DisplayOf(handle_);
    const TScreenMode before = handle_ ? CurrentScreenMode(display) : TScreenMode{};
    bool switchedByRetry = false;

    if (!fullScreen) {
        if (handle_) SDL_SetWindowFullscreen(handle_, 0);
        covering_ = false;
        windowed_ = true;
    } else {
        SDL_DisplayMode listed{};
        bool found = false;
        if (StartVideo()) {
            const int count = SDL_GetNumDisplayModes(display);
            for (int i = 0; i < count && !found; ++i)
                found = SDL_GetDisplayMode(display, i, &listed) == 0 && ModeMatches(listed, width, height, bpp, freq);
        }
        if (!found) {
            switchedByRetry = freq > 0 && SetMode(true, width, height, bpp, 0);
            if (!switchedByRetry) {
                WndLog("Can't set video mode: " + ModeText(width, height, bpp, freq));
                SetMode(false, width, height, bpp_, freq_);
                windowed_ = true;
                ApplyMode();
                return false;
            }
        } else if (handle_) {
            // Without a window manager, full screen at the screen's own mode
            // is a borderless window covering the screen, which moving and
            // sizing make it. SDL's switch would add only a request that
            // nobody answers, and a tenth of a second spent waiting for the
            // answer before the first frame.
            SDL_DisplayMode desktop{};
            const bool cover = !WindowManagerOf(handle_).present &&
                               SDL_GetDesktopDisplayMode(display, &desktop) == 0 && SameMode(desktop, listed);
            SDL_DisplayMode current{};
            const bool alreadyThere =
                cover ? covering_
                      : (SDL_GetWindowFlags(handle_) & SDL_WINDOW_FULLSCREEN) != 0 &&
                            SDL_GetWindowDisplayMode(handle_, &current) == 0 && SameMode(current, listed);
            if (!alreadyThere) {
                if (SDL_GetWindowFlags(handle_) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(handle_, 0);
                // Cover the screen first: without a window manager nothing
                // else would resize the window to the mode.
                SDL_Rect bounds{};
                SDL_GetDisplayBounds(display, &bounds);
                SDL_SetWindowBordered(handle_, SDL_FALSE);
                SDL_SetWindowPosition(handle_, bounds.x, bounds.y);
                SDL_SetWindowSize(handle_, listed.w, listed.h);
                if (!cover) {
                    SDL_SetWindowDisplayMode(handle_, &listed);
                    SDL_SetWindowFullscreen(handle_, SDL_WINDOW_FULLSCREEN);
                }
            }
            covering_ = cover;
        }
        windowed_ = false;
    }

    bpp_ = bpp;
    freq_ = freq;
    modeWidth_ = width;
    modeHeight_ = height;
    ApplyMode();
    OwnWindowCall();
    // A successful retry has already reported the change it made.
    if (handle_ && !switchedByRetry) NoteDisplayChange(before.width, before.height, before.bpp, before.freq);
    return true;
}

void TWnd::NoteDisplayChange(int32_t oldWidth, int32_t oldHeight, int32_t oldBpp, int32_t oldFreq) {
    const TScreenMode now = CurrentScreenMode(DisplayOf(handle_));
    if (now == TScreenMode{oldWidth, oldHeight, oldBpp, oldFreq}) return;
    WndProc(WM_DISPLAYCHANGE, static_cast<uint32_t>(now.bpp),
            MakeLong(static_cast<uint32_t>(now.width), static_cast<uint32_t>(now.height)));
}

void TWnd::ApplyMode() {
    const bool context = SDL_GL_GetCurrentContext() != nullptr;
    if (context) glFinish();
    if (handle_ && !external_) {
        if (windowed_) {
            // A captioned window with the requested client size at the
            // screen's top-left corner.
            SDL_SetWindowBordered(handle_, SDL_TRUE);
            SDL_SetWindowSize(handle_, modeWidth_, modeHeight_);
            SDL_SetWindowPosition(handle_, 0, 0);
        }
        SDL_ShowWindow(handle_);
    }
    if (context) {
        if (ogl) ogl->WindowResized();
        glViewport(0, 0, modeWidth_, modeHeight_);
    }
}

void TWnd::Minimize(bool minimized) {
    if (!handle_ || external_) return;
    if (minimized) SDL_MinimizeWindow(handle_);
    else SDL_RestoreWindow(handle_);
    OwnWindowCall();
}

void TWnd::OwnWindowCall() {
    // Read again at each call: a window manager may have started or stopped since.
    const TWindowManager manager = WindowManagerOf(handle_);
    managed_ = manager.present;
    keepsMinimised_ = manager.keepsMinimised;
    if (managed_) DecideFocusAfter(kSettleMs);
}

void TWnd::DecideFocusAfter(uint32_t ms) {
    const uint32_t at = SDL_GetTicks() + ms;
    if (!Deciding() || static_cast<int32_t>(at - decideAt_) > 0) decideAt_ = at;
    deciding_ = true;
}

bool TWnd::Deciding() const { return deciding_ && static_cast<int32_t>(SDL_GetTicks() - decideAt_) < 0; }

void TWnd::FocusChanged(bool gained) {
    focusHeld_ = gained;
    // Only a real move of the focus between the game and another window changes
    // the activation; a repeated gain or loss says nothing new.
    if (gained == active_) return;
    if (gained) {
        // The player came back, unless the manager is handing the focus back
        // to a window the game has just minimised.
        if (!(steppedAside_ && Deciding())) WndProc(WM_ACTIVATEAPP, 1, 0);
        return;
    }
    if (managed_) DecideFocusAfter(kLossMs);
    else WndProc(WM_ACTIVATEAPP, 0, 0);
}

void TWnd::SettleFocus() {
    if (!deciding_ || Deciding()) return;
    deciding_ = false;
    if (focusHeld_ != active_) WndProc(WM_ACTIVATEAPP, focusHeld_ ? 1 : 0, 0);
}

bool TWnd::Active() const { return active_; }

void TWnd::DesktopMode(int32_t& width, int32_t& height, int32_t& bpp, int32_t& freq) const {
    width = height = bpp = freq = 0;
    SDL_DisplayMode mode;
    if (!StartVideo() || SDL_GetDesktopDisplayMode(DisplayOf(handle_), &mode) != 0) return;
    width = mode.w;
    height = mode.h;
    bpp = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
    freq = mode.refresh_rate;
}

bool TWnd::Created() const { return created_; }
bool TWnd::External() const { return external_; }
bool TWnd::Windowed() const { return windowed_; }
int32_t TWnd::ModeWidth() const { return modeWidth_; }
int32_t TWnd::ModeHeight() const { return modeHeight_; }
int32_t TWnd::BPP() const { return bpp_; }
int32_t TWnd::Freq() const { return freq_; }

uint32_t TWnd::WndProc(uint32_t msg, uint32_t wParam, uint32_t lParam) {
    if (msg == MM_MCINOTIFY && wParam == MCI_NOTIFY_SUCCESSFUL && snd) snd->MusicNotify();
    if (!external_) {
        switch (msg) {
        case WM_DESTROY:
            if (eng) {
                eng->Quit();
                // Wakes a loop that waits for messages while inactive.
                eng->SetPauseInactive(false);
            }
            return 0;
        case WM_ACTIVATEAPP: ActivateApp(LowWord(wParam) == 1); break;
        case WM_DISPLAYCHANGE: LogDisplayChange(wParam, lParam); break;
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (inp) inp->SetKey(static_cast<int32_t>(wParam), msg == WM_KEYDOWN);
            break;
        case WM_SYSKEYDOWN:
            if (wParam == key::Enter) {
                SetMode(windowed_, modeWidth_, modeHeight_, bpp_, freq_);
            } else if (wParam == key::Space && inp) {
                inp->MCapture(!inp->Captured());
            } else if (wParam == key::F1 + 3 && (lParam & (1u << 30)) == 0) {
                // Alt+F4 closes the window, as a window manager would have had
                // it not taken the key itself (a bare X server has none).
                return WndProc(WM_DESTROY, 0, 0);
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            if (inp) inp->SetKey(key::MouseLeft, msg == WM_LBUTTONDOWN);
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            if (inp) inp->SetKey(key::MouseRight, msg == WM_RBUTTONDOWN);
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            if (inp) inp->SetKey(key::MouseMiddle, msg == WM_MBUTTONDOWN);
            break;
        case WM_XBUTTONDOWN:
        case WM_XBUTTONUP:
            if (inp) inp->SetKey(key::MouseX1 - 1 + static_cast<int32_t>(HighWord(wParam)), msg == WM_XBUTTONDOWN);
            break;
        case WM_MOUSEWHEEL:
            if (inp) inp->SetWheel(static_cast<int16_t>(HighWord(wParam)) / WHEEL_DELTA);
            break;
        default: break;
        }
    }
    if (eng) eng->CallMessageProc(msg, wParam, lParam);
    return 0;
}

void TWnd::ActivateApp(bool active) {
    if (inp) inp->Reset();
    active_ = active;
    if (active) {
        if (!windowed_) ReturnToFullScreen();
        if (eng && eng->PauseInactive()) eng->ResetTimer();
    } else if (!windowed_) {
        StepAside();
    }
    if (eng) eng->CallActiveProc(active_);
}

// The game's full-screen mode is the desktop's own, so leaving it needs no
// display change: the window only gets out of the way of the one now in use.
// Nothing here maps the window or asks for the focus, so no window manager
// answers it with a focus change of its own.
void TWnd::StepAside() {
    if (!handle_ || external_) return;
    if (onTop_) SDL_SetWindowAlwaysOnTop(handle_, SDL_FALSE);
    // Where minimising would lose the window, it only stops being on top and
    // the window manager puts the active one above it.
    if (keepsMinimised_) {
        steppedAside_ = true;
        Minimize(true);
    }
}

// Back from another window: shown again, above the others, and in full screen
// only when the window manager took that away meanwhile (a mode call that
// changes nothing would restyle the window and make the focus move again).
void TWnd::ReturnToFullScreen() {
    if (!handle_ || external_) return;
    steppedAside_ = false;
    if (SDL_GetWindowFlags(handle_) & SDL_WINDOW_MINIMIZED) Minimize(false);
    if (onTop_) SDL_SetWindowAlwaysOnTop(handle_, SDL_TRUE);
    if ((SDL_GetWindowFlags(handle_) & SDL_WINDOW_FULLSCREEN) == 0) SetMode(true, modeWidth_, modeHeight_, bpp_, freq_);
}

void TWnd::LogDisplayChange(uint32_t wParam, uint32_t lParam) {
    std::string text = IntToStr(static_cast<int32_t>(LowWord(lParam))) + "x" +
                       IntToStr(static_cast<int32_t>(HighWord(lParam))) + "x" +
                       IntToStr(static_cast<int32_t>(wParam));
    SDL_DisplayMode mode;
    if (videoStarted_ && SDL_GetCurrentDisplayMode(DisplayOf(handle_), &mode) == 0) {
        text += 'x';
        text += IntToStr(mode.refresh_rate);
    }
    WndLog(text);
}

void TWnd::ProcessMessages() {
    if (!created_) return;
    TEventTranslator translator(*this);
    // Only the events waiting now: those that handling them causes (a window
    // manager answering a restyle or a minimise) wait for the next pass, so a
    // pass always ends and the loop sees a quit request between two passes.
    SDL_PumpEvents();
    int waiting = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_Event event;
    while (waiting-- > 0 && SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1)
        translator.Translate(event);
    SettleFocus();
}

void TWnd::WaitMessage() {
    // A short limit, so a quit requested by a signal is seen soon.
    if (created_) SDL_WaitEventTimeout(nullptr, static_cast<int>(kWaitTimeoutMs));
    else SDL_Delay(kWaitTimeoutMs);
}

} // namespace qx
