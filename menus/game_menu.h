// The main menu "Menu": root of every menu screen, keeper of the player's
// profile and display options, owner of the animated night sky that the menus,
// the nickname entry and the game draw behind themselves, and the game scene's
// host. The sub-menus and the nickname entry reach it as a TGameHost.
//
// Build makes the six main items and four sub-menus: options and credits, the
// offline records and the online records. It runs at start-up and again after
// each nickname change; the new sub-menus replace the old ones and "Resume
// game" is disabled, so a game paused under the old name cannot be resumed.
// The settings live in "Settings.dat" in the working folder: read at creation
// (missing: the login name with "^3", both options on; short: the fields it
// holds), written when the menu is destroyed, except over a file that could
// not be read and still cannot. The local records (Records) are read once at
// creation and live as long as the menu, across every rebuild of the screens.
// AnimTick counts background steps while ActiveMenu is on; the sky is drawn at it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "game/game_host.h"
#include "menus/local_records.h"
#include "menus/menu.h"
#include "menus/settings_file.h"
#include "presentation/night_sky.h"

class TAdditionMenu;
class TRecordMenu;
class TOnLineMenu;
class TGameScene;
class TInputScene;

class TGameMenu : public TMenu, public TGameHost {
public:
    static constexpr const char* kSettingsFile = "Settings.dat";

    // Loads the settings, places the stars and builds the menus (the window and images must exist).
    TGameMenu();
    ~TGameMenu() override; // saves the settings

    // ---- Set up by the program once the other scenes exist ----
    void SetGameScene(TGameScene* game);  // "New game" and "Resume game" drive it
    void SetInputScene(TInputScene* input); // "Profile : " opens it

    // ---- Menus and settings ----
    void Build();         // main items and fresh sub-menus; Resume disabled
    void LoadSettings();  // defaults, then what "Settings.dat" holds
    // "Settings.dat", the profile cut to 32 characters. A file that could not be
    // read at start is read again first: still unreadable, it is kept as it is;
    // readable now, its values stand wherever this run changed nothing.
    void SaveSettings();
    void InitStars();     // the sky's 500 stars over the current window
    // A new nickname (markup included): the profile, then fresh menus as Build makes them.
    void Rename(const std::string& profile);

    // ---- Drawing ----
    void DrawBackground() override; // whole window: clears, sets 2-D, night scene, FPS line
    // A translucent grey panel with no texture, as the records and the nickname entry draw it.
    static void DrawPanel(double x, double y, double width, double height);

    // ---- The game host ----
    void Tick() override;            // AnimTick + 1 while ActiveMenu is on
    void GameFinished() override;    // Resume disabled, the menu current
    std::string_view PlayerName() const override { return Profile; }
    TScene* MenuScene() override { return this; }
    TScoreRec BestRecord() const override;
    void AddRecord(std::string_view name, int32_t score, int32_t level, int32_t time) override;
    void AddPlayedRecord(std::string_view name, int32_t score, int32_t level, int32_t time,
                         const TReplayRecorder& played) override;
    void SaveRecords() override;

    void Render() override;
    void Update() override;

    TNightSky Sky;
    int32_t AnimTick = 0;
    // Declared before the screens that show it, so it is destroyed after them.
    TLocalRecords Records;
    std::unique_ptr<TAdditionMenu> OptionsMenu;
    std::unique_ptr<TAdditionMenu> CreditsMenu;
    std::unique_ptr<TRecordMenu> RecordsMenu;
    std::unique_ptr<TOnLineMenu> OnlineMenu;
    TMenuItem* ResumeItem = nullptr;
    bool ShowFPS = true;
    bool ActiveMenu = true;
    std::string Profile;
    bool Debug = false; // started with "-Debug": the score server's replies go to the log

private:
    void BuildOptions();
    void BuildCredits();

    TGameScene* Game = nullptr;
    TInputScene* Input = nullptr;
    TSettings loadedSettings_;       // as read at start: what this run has not changed
    bool settingsUnread_ = false;    // Settings.dat existed at start but could not be read
    std::string FPSText; // reserved once: the background allocates nothing per frame
};
