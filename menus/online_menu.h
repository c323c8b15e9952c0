// The online records screen "OnLine": the score server's top list as a table
// over the menu background, fetched only when the player chooses "Refresh".
//
// The table text is compiled into one display list at each refresh, so it is
// laid out for the window size of that moment. A failed fetch (an empty reply)
// changes no row; rows beyond those a reply brings keep their earlier texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "menus/score_client.h"
#include "menus/table_menu.h"

class TGameHost;

class TOnLineMenu : public TTableMenu {
public:
    static constexpr int32_t kRows = 20;

    TOnLineMenu(const std::string& name, TMenu& parent, TGameHost& host); // reserves the display list
    ~TOnLineMenu() override;

    void RefreshTop();    // "Refresh": fetch, store up to 20 rows, recompile the table
    void CompileTable();  // records the table's drawing into TableList

    void Render() override;

    std::array<TOnlineRec, kRows> OnlineRows{};
    int32_t RowCount = 0;  // the count the last reply declared
    uint32_t TableList = 0; // GL display list; 0 without a context
};
