// The common part of the records screens.
#include "menus/table_menu.h"

#include <GL/gl.h>

#include <cmath>

#include "engine/engine.h"
#include "game/game_host.h"
#include "game/resources.h"
#include "presentation/text.h"

TTableMenu::TTableMenu(const std::string& name, TMenu& parent, TGameHost& host) : TMenu(name, &parent), host_(host) {
    for (int32_t i = 0; i < kSpacers; ++i) AddItem("", false)->DisabledColor = qx::PackRGBA(0, 0, 0, 0);
}

void TTableMenu::ShowMessage(const std::string& text, double seconds) {
    MsgText = text;
    MsgTimer = static_cast<int32_t>(std::nearbyint(seconds * 100));
}

void TTableMenu::Update() {
    TMenu::Update();
    host_.Tick();
    if (MsgTimer > 0) --MsgTimer;
}

void TTableMenu::DrawMessage(int32_t font, const std::string& text) {
    const double w = ViewWidth();
    const double h = ViewHeight();
    qx::ogl->Blend(qx::kBlendAlpha);
    glColor4f(1, 1, 1, 0.95f);
    qx::tex->Enable(res::Msg, 0);
    DrawQuadRot(w / 2, h / 2, 256, 64, 0);
    qx::tex->Disable(0);
    DrawText(font, text, w / 2 - MarkupWidth(font, text) / 2.0, h / 2 - 16);
}
