// The application object.
#include "app/app.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/folders.h"
#include "app/scene.h"
#include "engine/engine.h"
#include "engine/fontman.h"
#include "game/game_scene.h"
#include "game/resources.h"
#include "menus/game_menu.h"
#include "menus/input_scene.h"
#include "presentation/back_scene.h"
#include "presentation/text.h"
#include "presentation/tools.h"

TApp* App = nullptr;

namespace {
std::unique_ptr<TGameMenu> gameMenu;
std::unique_ptr<TGameScene> gameScene;
std::unique_ptr<TInputScene> inputScene;
std::unique_ptr<TBackScene> backScene;
} // namespace

TUiScaleChoice ChooseUiScale(int32_t clientHeight, const char* setting) {
    TUiScaleChoice choice;
    if (setting && *setting) {
        const char* end = setting + std::strlen(setting);
        int value = 0;
        const auto [stop, error] = std::from_chars(setting, end, value);
        if (error == std::errc() && stop == end && value >= 1 && value <= 4) {
            choice.Scale = value;
            return choice;
        }
        choice.Rejected = true;
    }
    choice.Scale = std::max(1, static_cast<int32_t>((static_cast<int64_t>(clientHeight) + 540) / 1080));
    return choice;
}

TApp::TApp(int argc, const char* const* argv) {
    // Read before the window exists: the game runs at the desktop's own mode.
    const DisplayMode desktop = DesktopMode();
    qx::eng->SetProc(qx::PROC_UPDATE, AppUpdate);
    qx::eng->SetProc(qx::PROC_RENDER, AppRender);
    qx::eng->SetProc(qx::PROC_MESSAGE, AppMessage);
    debug = argc == 2 && std::strcmp(argv[1], "-Debug") == 0;
    qx::ogl->SetAASamples(0);
    // The face names the game uses ("FixedSys", "Comic Sans MS") map to the
    // faces its font configuration names, beside the images.
    qx::ogl->Fonts()->LoadConfig(GameFolders().data + "fonts.conf");
    // The window is made in the desktop's mode, so that the GL buffers are
    // made once at their size, not at the first window's 640x480 and again at
    // once, at the cost of a frame; the call on the window then makes it
    // full screen. A mode the screen refuses is refused once.
    const bool modeSet = qx::wnd->SetMode(true, desktop.width, desktop.height, desktop.bpp, desktop.freq);
    // A debugging session keeps the debugger's windows reachable.
    qx::wnd->Create("Nivora", !debug);
    if (modeSet) qx::wnd->SetMode(true, desktop.width, desktop.height, desktop.bpp, desktop.freq);
    // The scene layouts and the fonts follow the scale from here on; the menus,
    // made next, lay themselves out in the scaled view.
    const char* setting = std::getenv("NIVORA_SCALE");
    const int32_t clientHeight = qx::wnd->Height() > 0 ? qx::wnd->Height() : desktop.height;
    const TUiScaleChoice scale = ChooseUiScale(clientHeight, setting);
    if (scale.Rejected) {
        // The value is the user's: cut short and kept on one line.
        std::string shown = std::string(setting).substr(0, 32);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 32) c = '?';
        qx::log->Print("Display : NIVORA_SCALE \"" + shown + "\" is not 1, 2, 3 or 4; the scale follows the screen");
    }
    if (scale.Scale > 1) qx::log->Print("Display : UI scale " + qx::IntToStr(scale.Scale));
    SetViewScale(scale.Scale);
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
    const auto rename = [menu = gameMenu.get()](const std::string& profile) { menu->Rename(profile); };
    inputScene = std::make_unique<TInputScene>(*gameMenu, *gameScene, rename);
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
