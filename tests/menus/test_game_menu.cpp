// The main menu with its sub-menus, the records screen and the settings, made
// as the program makes them in a folder of their own: the option captions, the
// records kept across a rebuild (saved or not), "Resume game" after a name
// change and after a finished game, the settings and records surviving a
// restart, and settings files that are short or cannot be read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "menus/online_menu.h"
#include "menus/settings_file.h"
#include "presentation/tools.h"
#include "tests/menus/menu_fixture.h"
#include "tests/support/window.h"

namespace fs = std::filesystem;

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

using GameMenuTest = MenusTest;

TEST_F(GameMenuTest, BuildsTheMainItemsAndTheOptionsFromTheDesktopMode) {
    Create();
    std::vector<std::string> captions;
    for (int32_t i = 0; i < menu->Count(); ++i) captions.push_back(menu->Item(i)->Caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"Resume game", "New game", "Options", "Records", "Credits", "Quit"}));
    EXPECT_EQ(menu->Selected, 1);
    EXPECT_FALSE(menu->ResumeItem->Enabled);

    TAdditionMenu& options = *menu->OptionsMenu;
    const DisplayMode mode = DesktopMode();
    EXPECT_EQ(options.Item(0)->Caption, "Profile : " + menu->Profile);
    EXPECT_EQ(options.Item(1)->Caption, "Mode " + std::to_string(mode.width) + "x" + std::to_string(mode.height));
    EXPECT_EQ(options.Item(2)->Caption, "Bits pixel " + std::to_string(mode.bpp));
    EXPECT_EQ(options.Item(3)->Caption, "Freg " + std::to_string(mode.freq) + "Hz");
    for (int32_t i = 1; i <= 3; ++i) EXPECT_FALSE(options.Item(i)->Enabled);
    EXPECT_EQ(options.Item(options.Count() - 1)->Caption, "Back");
    EXPECT_EQ(menu->CreditsMenu->Count(), 7);
    EXPECT_EQ(menu->RecordsMenu->Count(), TTableMenu::kSpacers + 3);
    EXPECT_EQ(menu->OnlineMenu->Count(), TTableMenu::kSpacers + 3);
}

TEST_F(GameMenuTest, OptionCaptionsShowTheValueAfterTheToggle) {
    Create();
    TAdditionMenu& options = *menu->OptionsMenu;
    const bool vsync = qx::ogl->VSync();
    TMenuItem* item = Find(options, "VSync ");
    ASSERT_NE(item, nullptr);
    item->Click();
    EXPECT_EQ(item->Caption, std::string("VSync ") + (qx::ogl->VSync() ? "On" : "Off")); // read back
    EXPECT_NE(qx::ogl->VSync(), vsync);
    item->Click();
    EXPECT_EQ(qx::ogl->VSync(), vsync);

    Choose(options, "Show FPS On");
    EXPECT_FALSE(menu->ShowFPS);
    EXPECT_NE(Find(options, "Show FPS Off"), nullptr);
    Choose(options, "Active menu On");
    EXPECT_FALSE(menu->ActiveMenu);
    const int32_t still = menu->AnimTick;
    menu->Tick();
    EXPECT_EQ(menu->AnimTick, still); // the background stands still
    Choose(options, "Active menu Off");
    menu->Tick();
    EXPECT_EQ(menu->AnimTick, still + 1);
}

TEST_F(GameMenuTest, RecordsGoInThroughTheMenuAndSurviveARebuild) {
    Create();
    TGameHost& host = *menu;
    EXPECT_EQ(host.BestRecord().Name.View(), "User[20]"); // the default table of a first start
    EXPECT_EQ(fs::file_size("Sys.rec"), 960u);

    const std::string longName = "^2" + std::string(40, 'n');
    host.AddRecord("^2Ann", 30, 5, 99);
    host.AddRecord(longName, 25, 4, 1234); // equal to the old best: goes in behind it
    host.AddRecord("^2Low", 1, 1, 1);     // below every stored score: dropped
    host.SaveRecords();
    const TRecordTable& records = menu->Records.Table();
    EXPECT_EQ(records[0].Name.View(), "^2Ann");
    EXPECT_EQ(records[1].Name.View(), "User[20]");
    EXPECT_EQ(records[2].Name.View(), longName.substr(0, 32));
    EXPECT_EQ(records[19].Score, 8); // User[1] and User[2] fell out
    EXPECT_EQ(ReadRecordsFile("Sys.rec")->at(0).Name.View(), "^2Ann");

    menu->Build(); // a new records screen shows the same table
    EXPECT_EQ(&menu->RecordsMenu->Records(), &menu->Records.Table());
    EXPECT_EQ(menu->RecordsMenu->Records()[0].Name.View(), "^2Ann");
    EXPECT_EQ(menu->RecordsMenu->Records()[2].Time, 1234);
}

TEST_F(GameMenuTest, ARecordsFileThatCouldNotBeReadIsNeverReplacedByTheSessionsResultsAlone) {
    TRecordTable stored{};
    stored[0].Score = 50;
    stored[0].Name = "^2Old";
    ASSERT_TRUE(WriteRecordsFile("Sys.rec", stored));
    const std::string before = ReadFile("Sys.rec");
    // Another copy of the game is writing the file while this one starts.
    const int holder = ::open("Sys.rec", O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    Create();
    EXPECT_EQ(menu->Records.Table()[0].Score, 0); // nothing could be read
    TGameHost& host = *menu;
    host.AddRecord("^2New", 40, 3, 300);

    host.SaveRecords(); // still held: the old table stays whole
    EXPECT_EQ(ReadFile("Sys.rec"), before);
    EXPECT_NE(TestLogText().find("Records : Sys.rec is kept as it is; this table is not saved"), std::string::npos);

    // A new nickname rebuilds the screens: the result that could not be saved stays.
    menu->Build();
    EXPECT_EQ(menu->RecordsMenu->Records()[0].Name.View(), "^2New");
    EXPECT_EQ(host.BestRecord().Score, 40);

    ::close(holder);
    host.SaveRecords(); // readable again: both tables go in
    const std::optional<TRecordTable> saved = ReadRecordsFile("Sys.rec");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ((*saved)[0].Name.View(), "^2Old");
    EXPECT_EQ((*saved)[1].Name.View(), "^2New");
    EXPECT_EQ((*saved)[2].Score, 0);
}

TEST_F(GameMenuTest, NewGamePauseAndResumeThenAFinishedGameDisablesResume) {
    Create();
    CurrentScene = menu.get();
    Choose(*menu, "New game");
    EXPECT_EQ(CurrentScene, game.get());
    EXPECT_TRUE(game->IsRunning());
    Press(qx::key::Esc); // the game pauses into the menu
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_FALSE(game->IsRunning());
    ASSERT_TRUE(menu->ResumeItem->Enabled);
    Choose(*menu, "Resume game");
    EXPECT_EQ(CurrentScene, game.get());
    EXPECT_TRUE(game->IsRunning());

    // Fill the top row so the next settled board ends the game.
    for (int32_t c = 1; c <= game->Columns; ++c)
        for (int32_t r = 1; r <= game->Rows; ++r) game->Board[c][r] = TCell{TCellState::Full, 1, 0};
    game->Cur.Score = 40;
    game->SettlePending = true;
    for (int step = 0; step < 100000 && CurrentScene == game.get(); ++step) AppUpdate();
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_FALSE(menu->ResumeItem->Enabled);
    EXPECT_FALSE(game->IsRunning());
    EXPECT_EQ(menu->Records.Table()[0].Score, 40); // recorded under the profile name
    EXPECT_EQ(menu->Records.Table()[0].Name.View(), menu->Profile);
}

TEST_F(GameMenuTest, SendRecordShowsItsMessageAndLogsTheSending) {
    Create();
    TRecordMenu& records = *menu->RecordsMenu;
    Choose(records, "Send record");
    EXPECT_EQ(records.MsgText, "Record sending...");
    EXPECT_EQ(records.MsgTimer, 250);
    EXPECT_NE(TestLogText().find("Send Records\r\n"), std::string::npos);
    CurrentScene = &records;
    AppUpdate();
    EXPECT_EQ(records.MsgTimer, 249);
    AppRender(); // the box, the table and the items draw without a fault
    Choose(records, "Online Top");
    EXPECT_EQ(CurrentScene, menu->OnlineMenu.get());
}

TEST_F(GameMenuTest, RefreshWithoutAServerKeepsTheRowsAndShowsItsMessage) {
    Create();
    TOnLineMenu& online = *menu->OnlineMenu;
    online.OnlineRows[3].Name = "^2Kept";
    Choose(online, "Refresh");
    EXPECT_EQ(online.MsgText, "Record loading...");
    EXPECT_EQ(online.RowCount, 0);
    EXPECT_EQ(online.OnlineRows[3].Name, "^2Kept");
    CurrentScene = &online;
    AppRender();
    Choose(online, "Offline Top");
    EXPECT_EQ(CurrentScene, menu->RecordsMenu.get());
}

TEST_F(GameMenuTest, AShortSettingsFileGivesTheFieldsItHoldsAndKeepsTheNickname) {
    const auto image = EncodeSettings({"^2Kept", false, false});
    // The profile and Show FPS, not Active menu.
    std::ofstream("Settings.dat", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 38);
    Create();
    EXPECT_EQ(menu->Profile, "^2Kept");
    EXPECT_FALSE(menu->ShowFPS);
    EXPECT_TRUE(menu->ActiveMenu) << "not in the file: the default";
    Free();
    TSettings saved{"unread", true, false};
    ASSERT_TRUE(ReadSettingsFile("Settings.dat", saved));
    EXPECT_EQ(saved.Profile, "^2Kept");
    EXPECT_FALSE(saved.ShowFPS);
    EXPECT_TRUE(saved.ActiveMenu);
}

TEST_F(GameMenuTest, ASettingsFileThatCouldNotBeReadIsNotOverwrittenWithTheDefaults) {
    ASSERT_TRUE(WriteSettingsFile("Settings.dat", {"^2Stored", true, false}));
    const std::string before = ReadFile("Settings.dat");
    int holder = ::open("Settings.dat", O_RDWR); // another program is writing it
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    Create();
    EXPECT_EQ(menu->Profile, "^3" + UserName()); // nothing could be read
    Free();
    EXPECT_EQ(ReadFile("Settings.dat"), before) << "still held at exit: kept as it is";
    EXPECT_NE(TestLogText().find("Settings: Settings.dat is kept as it is; these settings are not saved"),
              std::string::npos);

    Create();
    Choose(*menu->OptionsMenu, "Show FPS On"); // changed in this run
    ::close(holder);                           // readable again by the exit
    Free();
    TSettings saved;
    ASSERT_TRUE(ReadSettingsFile("Settings.dat", saved));
    EXPECT_EQ(saved.Profile, "^2Stored") << "the stored nickname, which this run never changed";
    EXPECT_FALSE(saved.ShowFPS) << "what this run changed";
    EXPECT_FALSE(saved.ActiveMenu);
}

TEST_F(GameMenuTest, SettingsSurviveARestartThroughTheRealFile) {
    Create();
    EXPECT_EQ(menu->Profile, "^3" + UserName()); // no file yet: the login name
    Choose(*menu->OptionsMenu, "Show FPS On");
    menu->Profile = "^2" + std::string(40, 'p');
    Free(); // the program ends
    ASSERT_EQ(fs::file_size("Settings.dat"), 44u);

    Create();
    EXPECT_EQ(menu->Profile, ("^2" + std::string(40, 'p')).substr(0, 32));
    EXPECT_FALSE(menu->ShowFPS);
    EXPECT_TRUE(menu->ActiveMenu);
    EXPECT_NE(input->Prompt.find("Hi, " + menu->Profile + "^7."), std::string::npos);
    EXPECT_EQ(game->Cur.Name.View(), menu->Profile);
}

} // namespace
