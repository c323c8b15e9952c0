// The application object: registers the game's engine procedures, opens the
// full-screen window at the desktop's own mode, picks the UI scale, creates
// the scenes and runs the main loop at 100 steps per second.
#pragma once

#include <cstdint>

class TApp {
public:
    // argc/argv as main receives them; exactly one argument "-Debug" sets debug.
    TApp(int argc, const char* const* argv);

    void CreateScenes(); // loads the images, creates the scenes, asks for the nickname first
    void Run();          // the main loop, until quit
    void FreeScenes();   // frees the game scene, then the main menu

    bool debug = false;
};

// The UI scale for a screen clientHeight pixels tall. setting is NIVORA_SCALE's
// value (null when unset, "" counts as unset): a whole number 1..4 is taken as
// it stands; otherwise the scale follows the screen, (clientHeight + 540) / 1080
// rounded down and at least 1, so up to 1619 pixels the scale is 1.
// Rejected is true when a setting was given but not taken.
struct TUiScaleChoice {
    int32_t Scale = 1;
    bool Rejected = false;
};
TUiScaleChoice ChooseUiScale(int32_t clientHeight, const char* setting);

// The application object: main points it at its TApp for the whole run and
// clears it before the engine goes; null before and after. Main thread only.
extern TApp* App;
