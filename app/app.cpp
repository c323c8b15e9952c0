// The application object.
#include "app/app.h"

#include <cstring>

#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/tools.h"

TApp* App = nullptr;

TApp::TApp(int argc, const char* const* argv) {
    // Read before the window exists: the game runs at the desktop's own mode.
    const DisplayMode desktop = DesktopMode();
    qx::eng->SetProc(qx::PROC_UPDATE, AppUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, AppRender);
    qx::eng->SetProc(qx::PROC_MESSAGE, AppMessage);
    debug = argc == 2 && std::strcmp(argv[1], "-Debug") == 0;
    qx::ogl->SetAASamples(0);
    // A debugging session keeps the debugger's windows reachable.
    qx::wnd->Create("Nivora", !debug);
    qx::wnd->SetMode(true, desktop.width, desktop.height, desktop.bpp, desktop.freq);
    qx::inp->MCapture(true);
    qx::eng->SetPauseInactive(true);
    qx::ogl->SetVSync(false);
}

void TApp::CreateScenes() {}

void TApp::Run() { qx::eng->MainLoop(100); }

void TApp::FreeScenes() {}
