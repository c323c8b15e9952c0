// The offline records screen "Record": the twenty best finished games, kept
// in "Sys.rec" in the working folder, shown as a panel over the menu
// background, with "Send record", "Online Top" and "Back" below the table.
//
// Records holds rank 1 at index 0, best score first; a new result goes in
// behind every stored result of the same score. LoadRecords reads the file
// (a damaged one reads safely) or, when it is missing, writes the twenty
// default records. Messages show in a box for a number of update steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "menus/records_file.h"
#include "menus/table_menu.h"

class TGameMenu;

class TRecordMenu : public TTableMenu {
public:
    static constexpr const char* kRecordsFile = "Sys.rec";

    TRecordMenu(const std::string& name, TGameMenu& parent);

    void LoadRecords(); // "Sys.rec", or the default table (then saved) when it is missing
    // Writes "Sys.rec" whole; a failure is logged and keeps the old file. A file
    // that could not be read at load is merged in first, or kept when still unreadable.
    void SaveRecords();
    // Inserts a finished game; the name is cut to 32 characters.
    void AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time);
    void SendRecords(); // "Send record": the whole table to the score server

    void Render() override;

    TRecordTable Records{};

private:
    bool storedUnread_ = false; // Sys.rec existed at load but could not be read
};
