// The application object: registers the game's engine procedures, opens the
// full-screen window at the desktop's own mode, creates the scenes and runs
// the main loop at 100 steps per second.
#pragma once

class TApp {
public:
    // argc/argv as main receives them; exactly one argument "-Debug" sets debug.
    TApp(int argc, const char* const* argv);

    void CreateScenes(); // loads the images, creates the scenes, asks for the nickname first
    void Run();          // the main loop, until quit
    void FreeScenes();   // frees the game scene, then the main menu

    bool debug = false;
};

// The application object: main points it at its TApp for the whole run and
// clears it before the engine goes; null before and after. Main thread only.
extern TApp* App;
