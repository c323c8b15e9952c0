// The stand-in for the main menu.
#include "game/game_host.h"

#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/text.h"

TDetachedGameHost::TDetachedGameHost() : Name("^3" + UserName()) {}

void TDetachedGameHost::DrawBackground() {
    qx::ogl->Clear(true, true, false);
    qx::ogl->Set2D(0, 0, static_cast<float>(ViewWidth()), static_cast<float>(ViewHeight()));
}

void TDetachedGameHost::GameFinished() { CurrentScene = nullptr; }
