// The offline records screen.
#include "menus/record_menu.h"

#include <vector>

#include "engine/engine.h"
#include "game/game_host.h"
#include "game/replay.h"
#include "menus/game_menu.h"
#include "menus/score_client.h"
#include "presentation/text.h"

TRecordMenu::TRecordMenu(const std::string& name, TMenu& parent, TGameHost& host, const TLocalRecords& records,
                         const bool& debug)
    : TTableMenu(name, parent, host), records_(records), debug_(debug) {}

void TRecordMenu::SendRecords() {
    ShowMessage("Record sending...", 2.5);
    std::vector<std::string> values;
    const TRecordTable& table = Records();
    values.reserve(table.size() * 4);
    for (const TScoreRec& record : table) {
        values.push_back(record.Name.Str());
        values.push_back(qx::IntToStr(record.Score));
        values.push_back(qx::IntToStr(record.Level));
        values.push_back(qx::IntToStr(record.Time));
    }
    const std::vector<std::string> names = {"user", "score", "level", "time"};
    long status = 0;
    if (debug_) {
        qx::log->Print(PostForm("saver.php", names, values, &status));
    } else {
        qx::log->Print("Send Records");
        PostForm("saver.php", names, values, &status);
    }
    // The replays name rows the server must already hold.
    if (status == 200) SendReplays();
}

void TRecordMenu::SendReplays() {
    std::vector<std::string> values;
    const TRecordTable& table = Records();
    for (size_t rank = 0; rank < table.size(); ++rank) {
        const std::vector<uint8_t>* replay = records_.ReplayOf(rank);
        if (!replay) continue;
        const TScoreRec& record = table[rank];
        values.push_back(record.Name.Str());
        values.push_back(qx::IntToStr(record.Score));
        values.push_back(qx::IntToStr(record.Level));
        values.push_back(qx::IntToStr(record.Time));
        values.push_back(Base64UrlEncode(*replay));
    }
    if (values.empty()) return;
    long status = 0;
    const std::string reply = PostForm("replay.php", {"user", "score", "level", "time", "replay"}, values, &status);
    if (debug_) qx::log->Print(reply);
    // A server without replays answers with an error: the results stay as they were sent.
    if (status != 200) {
        std::string line = "Scores  : replays not taken (HTTP ";
        line += qx::IntToStr(static_cast<int32_t>(status));
        qx::log->Print(line + ")");
    }
}

void TRecordMenu::Render() {
    const double cx = ViewWidth() / 2.0;
    const double y0 = ViewHeight() / 5.0 + 64;
    Host().DrawBackground();
    TGameMenu::DrawPanel(cx - 350, y0, 700, 464);
    TMenu::Render();

    const std::string title = "^3 Top " + qx::IntToStr(static_cast<int32_t>(kRecordCount));
    DrawText(Font, title, cx - MarkupWidth(Font, title) / 2.0, y0);
    const TRecordTable& table = Records();
    for (size_t i = 0; i < table.size(); ++i) {
        const TScoreRec& record = table[i];
        const double y = y0 + 32 + 16.0 * static_cast<double>(i);
        DrawText(0, "^3#^7" + qx::IntToStr(static_cast<int32_t>(i + 1)), cx - 325, y);
        DrawText(0, "^x888888Name ^3: ^7" + record.Name.Str(), cx - 275, y);
        DrawText(0, "^x888888Score ^3: ^7" + qx::IntToStr(record.Score), cx - 25, y);
        DrawText(0, "^x888888Level ^3: ^7" + qx::IntToStr(record.Level), cx + 95, y);
        DrawText(0, "^x888888Time ^3: ^7" + FloatText(0, 2, record.Time * 0.01), cx + 195, y);
    }
    if (MsgTimer > 0) DrawMessage(Font, MsgText);
    DrawCursor(CursorTex);
}
