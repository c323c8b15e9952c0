// The common part of the records screens.
#include "menus/table_menu.h"

#include <GL/gl.h>

#include <cmath>

#include "engine/engine.h"
#include "game/resources.h"
#include "menus/game_menu.h"
#include "presentation/text.h"

TTableMenu::TTableMenu(const std::string& name, TGameMenu& parent) : TMenu(name, &parent) {
    for (int32_t i = 0; i < kSpacers; ++i) AddItem("", false)->DisabledColor = qx::PackRGBA(0, 0, 0, 0);
}

TGameMenu& TTableMenu::Main() const { return *static_cast<TGameMenu*>(Parent); }

void TTableMenu::ShowMessage(const std::string& text, double seconds) {
    MsgText = text;
    MsgTimer = static_cast<int32_t>(std::nearbyint(seconds * 100));
}

void TTableMenu::Update() {
    TMenu::Update();
    Main().Tick();
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
