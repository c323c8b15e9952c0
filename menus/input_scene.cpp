// The nickname entry.
#include "menus/input_scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <utility>

#include "engine/engine.h"
#include "game/game_host.h"
#include "game/game_scene.h"
#include "menus/game_menu.h"
#include "presentation/text.h"

TInputScene::TInputScene(TGameHost& host, TGameScene& game, TRename rename)
    : TScene("InputScene"), Host(host), Rename(std::move(rename)), Game(game) {
    Line.reserve(128);
    Prepare();
}

void TInputScene::Open() {
    CurrentScene = this;
    TickCount = 0;
    Prepare();
}

void TInputScene::Prepare() {
    Prompt = "^7Hi, " + std::string(Host.PlayerName()) + "^7." +
             "^-If you want to leave a ^3nickname^7 as is, then press ^3Esc^7." +
             "^-Can you dial a new nickname and press ^3Enter^7.";
    PanelW = 448;
    PanelH = 80;
    StartTextInput("");
}

void TInputScene::Accept() {
    std::string text = GetInputText();
    if (text.size() <= 2) return;
    qx::inp->Reset();
    CurrentScene = Host.MenuScene();
    // A typed line break would split the name in the prompt and the tables: keep what stands before the last one.
    const size_t lineBreak = text.rfind("^-");
    if (lineBreak != std::string::npos && lineBreak > 0) text.resize(lineBreak);
    const std::string profile = "^2" + StripMarkup(text);
    Game.Cur.Name = profile; // cut to 32 characters
    Rename(profile);
    StopTextInput();
}

void TInputScene::Render() {
    Host.DrawBackground();
    TGameMenu::DrawPanel(5, 45, PanelW, PanelH);
    glColor3f(1, 1, 1);
    const size_t shown = static_cast<size_t>(std::clamp<int64_t>(Shown, 0, static_cast<int64_t>(Prompt.size())));
    DrawText(0, Prompt.substr(0, shown), 10, 50);
    Line.assign("^2A new nickname : ");
    Line.append(StripMarkup(GetInputText()));
    if (TickCount % 100 < 50) Line.push_back('_');
    DrawText(0, Line, 10, 100);
}

void TInputScene::Update() {
    Host.Tick();
    ++TickCount;
    const TNavStep nav = Nav.Read();
    // Esc wins over an Enter of the same step: its Reset puts Enter up, and the
    // step's navigation, read before it, must not accept the name behind it.
    const bool back = qx::inp->Down(qx::key::Esc) || nav.Back;
    if (back) {
        qx::inp->Reset();
        CurrentScene = Host.MenuScene();
    }
    if (!back && (qx::inp->Down(qx::key::Enter) || nav.Activate)) Accept();
    if (Shown < static_cast<int32_t>(Prompt.size())) Shown = static_cast<int32_t>(int64_t{TickCount} * 15 / 100);
}
