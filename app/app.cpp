// The application object.
#include "app/app.h"

#include <cstring>
#include <memory>

#include "app/scene.h"
#include "engine/engine.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "presentation/back_scene.h"
#include "presentation/tools.h"

TApp* App = nullptr;

namespace {
// Until the main menu exists the game scene is linked to a stand-in host.
std::unique_ptr<TGameHost> gameHost;
std::unique_ptr<TGameScene> gameScene;
std::unique_ptr<TBackScene> backScene;
} // namespace

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

void TApp::CreateScenes() {
    LoadResources();
    gameHost = std::make_unique<TDetachedGameHost>();
    gameScene = std::make_unique<TGameScene>(*gameHost);
    // A game is dealt at once; the console lists "Game Scene" and Enter plays it.
    gameScene->NewGame(0);
    backScene = std::make_unique<TBackScene>(TBackScene::TTextures{res::Smoke, res::Light, res::Logo});
    CurrentScene = nullptr;
}

void TApp::Run() { qx::eng->MainLoop(100); }

void TApp::FreeScenes() {
    backScene.reset();
    gameScene.reset();
    gameHost.reset();
}
