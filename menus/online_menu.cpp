// The online records screen.
#include "menus/online_menu.h"

#include <GL/gl.h>

#include <algorithm>

#include "engine/engine.h"
#include "game/game_host.h"
#include "menus/game_menu.h"
#include "presentation/text.h"

TOnLineMenu::TOnLineMenu(const std::string& name, TMenu& parent, TGameHost& host) : TTableMenu(name, parent, host) {
    if (qx::ogl && qx::ogl->HasContext()) TableList = glGenLists(1);
}

TOnLineMenu::~TOnLineMenu() {
    if (TableList != 0 && qx::ogl && qx::ogl->HasContext()) glDeleteLists(TableList, 1);
}

void TOnLineMenu::RefreshTop() {
    ShowMessage("Record loading...", 2.5);
    const TTopReply top = ParseTop(FetchTop(kRows), kRows);
    RowCount = top.Count;
    std::copy(top.Rows.begin(), top.Rows.end(), OnlineRows.begin()); // at most kRows
    CompileTable();
}

void TOnLineMenu::CompileTable() {
    if (TableList == 0) return;
    const double cx = ViewWidth() / 2.0;
    const double y0 = ViewHeight() / 5.0 + 64;
    glNewList(TableList, GL_COMPILE);
    const std::string title = "^3 Online Top " + qx::IntToStr(kRows);
    DrawText(Font, title, cx - MarkupWidth(Font, title) / 2.0, y0);
    for (int32_t i = 0; i < kRows; ++i) {
        const TOnlineRec& row = OnlineRows[static_cast<size_t>(i)];
        const double y = y0 + 32 + 16.0 * i;
        DrawText(0, "^3#^7" + row.Place, cx - 425, y);
        DrawText(0, "^x888888Name ^3: ^7" + row.Name, cx - 375, y);
        DrawText(0, "^x888888Score ^3: ^7" + row.Score, cx - 125, y);
        DrawText(0, "^x888888Level ^3: ^7" + row.Level, cx - 5, y);
        DrawText(0, "^x888888Time ^3: ^7" + FloatText(0, 2, LeadingInt(row.Time) * 0.01), cx + 95, y);
        DrawText(0, "^x888888Data ^3: ^7" + row.Date, cx + 245, y);
    }
    glEndList();
}

void TOnLineMenu::Render() {
    const double cx = ViewWidth() / 2.0;
    const double y0 = ViewHeight() / 5.0 + 64;
    Host().DrawBackground();
    TGameMenu::DrawPanel(cx - 450, y0, 930, 464);
    TMenu::Render();
    if (TableList != 0) glCallList(TableList);
    if (MsgTimer > 0) DrawMessage(Font, MsgText);
    DrawCursor(CursorTex);
}
