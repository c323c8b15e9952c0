// The application object.
#include "app/app.h"

#include <cstring>

#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/tools.h"

TApp* App = nullptr;

TApp::TApp(int argc, const char* const* argv) {
    const DisplayMode desktop = DesktopMode();
    qx::eng->SetProc(qx::PROC_UPDATE, AppUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, AppRender);
    qx::eng->SetProc(qx::PROC_MESSAGE, AppMessage);
    debug = argc == 2 && std::strcmp(argv[1], "-Debug") == 0;
    (void)desktop;
}

void TApp::CreateScenes() {}

void TApp::Run() { qx::eng->MainLoop(100); }

void TApp::FreeScenes() {}
