// The offline records screen "Record": the twenty best finished games, kept
// in "Sys.rec" in the working folder, shown as a panel over the menu
// background, with "Send record", "Online Top" and "Back" below the table.
//
// The table it shows belongs to the main menu (TLocalRecords), which outlives
// this screen: a rebuilt screen shows the same rows, saved or not. Messages
// show in a box for a number of update steps.
#pragma once

#include <string>

#include "menus/local_records.h"
#include "menus/table_menu.h"

class TGameHost;

class TRecordMenu : public TTableMenu {
public:
    // Shows records; debug (the main menu's flag, read at each send: on, the
    // server's replies go to the log) and records must outlive the screen.
    TRecordMenu(const std::string& name, TMenu& parent, TGameHost& host, const TLocalRecords& records,
                const bool& debug);

    // "Send record": the whole table to the score server, then, once the
    // server took it, the replays of the rows that have one (/replay.php).
    void SendRecords();

    void Render() override;

    const TRecordTable& Records() const { return records_.Table(); }

private:
    void SendReplays();

    const TLocalRecords& records_;
    const bool& debug_;
};
