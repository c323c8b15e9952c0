// The menu framework.
#include "menus/menu.h"

#include <GL/gl.h>

#include <cmath>

#include "engine/engine.h"
#include "engine/fontman.h"
#include "presentation/text.h"

TMenu::TMenu(const std::string& name, TMenu* parent) : TScene(name), Parent(parent) {
    SetCursor(ViewWidth() / 2.0, ViewHeight() / 2.0);
    if (!Parent) {
        // Fonts need the GL context; without one the captions fall back to the default font.
        if (qx::ogl && qx::ogl->HasContext()) {
            Font = qx::ogl->Fonts()->FontCreate("Comic Sans MS", 16, false, 512);
            OwnsFont = true;
        }
    } else {
        Font = Parent->Font;
        BarTex = Parent->BarTex;
        CursorTex = Parent->CursorTex;
    }
    Title = name;
    Selected = -1;
    DisabledColor = qx::PackRGBA(64, 64, 64, 255);
    SelectColor = qx::PackRGBA(0, 255, 255, 230);
}

TMenu::~TMenu() {
    Clear();
    if (OwnsFont && qx::ogl && qx::ogl->HasContext()) qx::ogl->Fonts()->FontFree(Font);
}

TMenuItem* TMenu::AddItem(const std::string& caption, bool enabled, TMenuItem::THandler onClick) {
    auto* item = new TMenuItem(*this);
    Items.Add(item);
    item->Caption = caption;
    item->OnClick = std::move(onClick);
    item->Enabled = enabled;
    if (enabled && Selected == -1) Selected = Count() - 1;
    return item;
}

void TMenu::Clear() {
    for (int32_t i = Count() - 1; i >= 0; --i) delete static_cast<TMenuItem*>(Items.Get(i));
    Items.Clear();
}

TMenuItem* TMenu::Item(int32_t index) const { return static_cast<TMenuItem*>(Items.Get(index)); }

int32_t TMenu::Count() const { return Items.Count(); }

void TMenu::Select(int32_t index) {
    if (index == Selected || index < 0 || index >= Count()) return;
    Selected = index;
    Item(index)->DoSelect();
}

double TMenu::RowTop(int32_t row) const { return (ViewHeight() - kRowHeight * Count()) / 2 + kRowHeight * row; }

int32_t TMenu::ItemAt(double x, double y) const {
    const double row = std::trunc((y - RowTop(0)) / kRowHeight);
    if (!(row >= 0 && row < Count())) return -1; // also refuses a point that is not a number
    const double offset = x - ViewWidth() / 2.0;
    if (-Width / 2 < offset && offset < Width / 2) return static_cast<int32_t>(row);
    return -1;
}

void TMenu::Render() {
    const double width = ViewWidth();
    qx::ogl->Blend(qx::kBlendAlpha);
    if (Selected >= 0) {
        qx::tex->Enable(BarTex, 0);
        glColor4f(1, 1, 1, 0.2f);
        DrawQuad(GL_QUADS, (width - Width - 50) / 2, RowTop(Selected), Width + 50, kRowHeight);
    }
    qx::tex->Disable(0);
    glColor4f(1, 1, 1, 1);
    int32_t widest = -1;
    for (int32_t i = 0; i < Count(); ++i) {
        const TMenuItem& item = *Item(i);
        const int32_t w = MarkupWidth(Font, item.Caption);
        qx::SetGLColor(!item.Enabled ? item.DisabledColor : i == Selected ? SelectColor : item.Color);
        DrawText(Font, item.Caption, (width - w) / 2, RowTop(i));
        if (w > widest) widest = w;
    }
    Width = widest + 50;
    DrawCursor(CursorTex);
}

void TMenu::Step(int32_t direction) {
    const int32_t n = Count();
    const int32_t start = Selected;
    // When no item is enabled the search stops after one round of the items.
    for (int32_t tries = 0; tries < n; ++tries) {
        if (direction > 0) Select(Selected >= n - 1 ? 0 : Selected + 1);
        else Select(Selected <= 0 ? n - 1 : Selected - 1);
        if (Selected == start || Item(Selected)->Enabled) break;
    }
}

void TMenu::Update() {
    UpdateCursor();
    const Vec2 cursor = GetCursor();
    const int32_t hovered = ItemAt(cursor.x, cursor.y);
    if (hovered >= 0) {
        if (qx::inp->Down(qx::key::MouseLeft)) {
            Item(hovered)->Click();
            qx::inp->Reset();
        }
        // A handler may have rebuilt the items, so the row is looked up again.
        if (CursorMoved() && hovered < Count() && Item(hovered)->Enabled) Select(hovered);
    }
    // Read after the click, whose Reset consumes every key of the step.
    const TNavStep nav = Nav.Read();
    if (qx::inp->Down(qx::key::Esc) || nav.Back) {
        if (Parent) CurrentScene = Parent;
        else qx::eng->Quit();
    }
    // The key flags too, as this menu clears them every step: a key down since the last step counts.
    if (nav.dy > 0 || qx::inp->Down(qx::key::Down)) Step(+1);
    if (nav.dy < 0 || qx::inp->Down(qx::key::Up)) Step(-1);
    const bool activate = nav.Activate || qx::inp->Down(qx::key::Enter);
    if (activate && Selected >= 0 && Selected < Count()) Item(Selected)->Click();
    qx::inp->Reset();
}
