// The application object.
#include "app/app.h"

#include <cstring>
#include <memory>

#include "app/scene.h"
#include "engine/engine.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "menus/game_menu.h"
#include "menus/input_scene.h"
#include "presentation/back_scene.h"
#include "presentation/tools.h"

TApp* App = nullptr;

namespace {
std::unique_ptr<TGameMenu> gameMenu;
std::unique_ptr<TGameScene> gameScene;
std::unique_ptr<TInputScene> inputScene;
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
    // The menu comes first: it builds its sub-menus, and the game copies its profile name.
    gameMenu = std::make_unique<TGameMenu>();
    gameMenu->Debug = debug;
    gameScene = std::make_unique<TGameScene>(*gameMenu);
    gameMenu->SetGameScene(gameScene.get());
    inputScene = std::make_unique<TInputScene>(*gameMenu, *gameScene);
    gameMenu->SetInputScene(inputScene.get());
    backScene = std::make_unique<TBackScene>(TBackScene::TTextures{res::Smoke, res::Light, res::Logo});
    // Every run starts by greeting the player with the stored name.
    CurrentScene = inputScene.get();
}

void TApp::Run() { qx::eng->MainLoop(100); }

void TApp::FreeScenes() {
    // The game saves its records through the menu, so the menu goes after it;
    // the menu writes the settings as it goes.
    gameScene.reset();
    gameMenu.reset();
    inputScene.reset();
    backScene.reset();
}
