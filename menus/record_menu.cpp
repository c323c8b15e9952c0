// The offline records screen.
#include "menus/record_menu.h"

#include <GL/gl.h>

#include <vector>

#include "engine/engine.h"
#include "menus/game_menu.h"
#include "menus/score_client.h"
#include "presentation/text.h"

TRecordMenu::TRecordMenu(const std::string& name, TGameMenu& parent) : TTableMenu(name, parent) {}

void TRecordMenu::LoadRecords() {
    if (const std::optional<TRecordTable> stored = ReadRecordsFile(kRecordsFile, &storedUnread_)) {
        Records = *stored;
    } else {
        Records = DefaultRecords();
        SaveRecords();
    }
}

void TRecordMenu::SaveRecords() {
    // A table that could not be read at load time (another copy of the game
    // held it, say) must not be replaced by this session's results alone: read
    // it again and keep both, or leave it as it is.
    if (storedUnread_) {
        bool stillUnread = false;
        const std::optional<TRecordTable> stored = ReadRecordsFile(kRecordsFile, &stillUnread);
        if (stillUnread) {
            qx::log->Print(std::string("Records : ") + kRecordsFile + " is kept as it is; this table is not saved");
            return;
        }
        if (stored)
            for (const TScoreRec& record : *stored) InsertRecord(Records, record);
        storedUnread_ = false;
    }
    WriteRecordsFile(kRecordsFile, Records);
}

void TRecordMenu::AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time) {
    TScoreRec record;
    record.Score = score;
    record.Level = level;
    record.Time = time;
    record.Name = name; // cut to 32 characters
    InsertRecord(Records, record);
}

void TRecordMenu::SendRecords() {
    ShowMessage("Record sending...", 2.5);
    std::vector<std::string> values;
    values.reserve(Records.size() * 4);
    for (const TScoreRec& record : Records) {
        values.push_back(record.Name.Str());
        values.push_back(qx::IntToStr(record.Score));
        values.push_back(qx::IntToStr(record.Level));
        values.push_back(qx::IntToStr(record.Time));
    }
    const std::vector<std::string> names = {"user", "score", "level", "time"};
    if (Main().Debug) {
        qx::log->Print(PostForm("saver.php", names, values));
    } else {
        qx::log->Print("Send Records");
        PostForm("saver.php", names, values);
    }
}

void TRecordMenu::Render() {
    const double cx = ViewWidth() / 2.0;
    const double y0 = ViewHeight() / 5.0 + 64;
    Main().DrawBackground();
    TGameMenu::DrawPanel(cx - 350, y0, 700, 464);
    TMenu::Render();

    const std::string title = "^3 Top " + qx::IntToStr(static_cast<int32_t>(kRecordCount));
    DrawText(Font, title, cx - MarkupWidth(Font, title) / 2.0, y0);
    for (size_t i = 0; i < Records.size(); ++i) {
        const TScoreRec& record = Records[i];
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
